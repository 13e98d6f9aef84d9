// The connection object on the scripted client: what goes to the client, in
// which order and with which flags, and what the object keeps of the answers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

#include "FakeFtpClientServices.h"
#include "ftp/FtpConnection.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::testing {
namespace {

using namespace sapi::wininet;
using Names = std::vector<std::string>;

WideString W(std::string_view text) { return WideFromUtf8(text); }

std::vector<std::string> Utf8(const WideNameList &list) {
    std::vector<std::string> names;
    for (const WideString &name : list.ToVector()) names.push_back(Utf8FromWide(name));
    return names;
}

class FtpConnectionTest : public ::testing::Test {
protected:
    ResultCode Connect(bool passive = true) {
        return connection.Connect(W("ftp.example"), 2121, W("user"), W("secret"), passive);
    }
    InternetHandle LoginHandle() const { return fake.CallsNamed("InternetConnect").back()->result; }

    FakeFtpClientServices fake;
    FtpConnection connection{nullptr, false, fake};
};

TEST_F(FtpConnectionTest, ConnectOpensLogsInInstallsTheCallbackAndListsTheLoginFolder) {
    fake.defaultListing.entries = {FakeFolder("."), FakeFile("a.txt", 5), FakeFolder(".."),
                                   FakeFolder("sub")};
    ASSERT_EQ(Connect(), ApiOk);

    EXPECT_EQ(fake.CallNames(), (Names{"InternetOpen", "InternetConnect",
                                       "InternetSetStatusCallback", "FtpFindFirstFile",
                                       "InternetFindNextFile", "InternetFindNextFile",
                                       "InternetFindNextFile", "InternetFindNextFile",
                                       "InternetCloseHandle", "FtpGetCurrentDirectory"}));
    const FakeCall &open = fake.calls[0];
    EXPECT_EQ(open.texts, (std::vector<std::optional<std::string>>{"UserAgent", std::nullopt,
                                                                   std::nullopt}));
    EXPECT_EQ(open.number, INTERNET_OPEN_TYPE_DIRECT);
    EXPECT_EQ(open.flags, 0x04000000u);
    const FakeCall &login = fake.calls[1];
    EXPECT_EQ(login.handle, open.result);
    EXPECT_EQ(login.texts, (std::vector<std::optional<std::string>>{"ftp.example", "user", "secret"}));
    EXPECT_EQ(login.port, 2121);
    EXPECT_EQ(login.number, INTERNET_SERVICE_FTP);
    EXPECT_EQ(login.flags, INTERNET_FLAG_PASSIVE);
    EXPECT_EQ(login.context, reinterpret_cast<uintptr_t>(&connection));
    const FakeCall &find = fake.calls[3];
    EXPECT_EQ(find.handle, login.result);
    EXPECT_EQ(find.texts[0], std::nullopt);
    EXPECT_EQ(find.flags, 0x84000000u);
    EXPECT_EQ(find.context, reinterpret_cast<uintptr_t>(&connection));
    EXPECT_EQ(fake.calls[8].handle, find.result);

    EXPECT_EQ(Utf8(connection.Folders()), (Names{".", "..", "sub"}));
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"a.txt"}));
    EXPECT_EQ(connection.CurrentFolder(), W("/"));
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(FtpConnectionTest, ActiveModeEmptyLoginAndPortAsSixteenBits) {
    ASSERT_EQ(connection.Connect(W("h"), 65536 + 21, W(""), W(""), false), ApiOk);
    const FakeCall &login = fake.calls[1];
    EXPECT_EQ(login.flags, 0u);
    EXPECT_EQ(login.port, 21);
    // Empty texts, never null pointers.
    EXPECT_EQ(login.texts[1], "");
    EXPECT_EQ(login.texts[2], "");
}

TEST_F(FtpConnectionTest, AnEmptyLoginFolderIsNoFailure) {
    ASSERT_EQ(Connect(), ApiOk);
    EXPECT_TRUE(connection.Folders().empty());
    EXPECT_TRUE(connection.Assets().empty());
    EXPECT_EQ(connection.CurrentFolder(), W("/"));
}

// Where the login lands, as the server says: "/" only when it says nothing.
TEST_F(FtpConnectionTest, TheLoginFolderIsTheServersAnswer) {
    struct Case {
        const char *answer;  // nullptr: PWD refused
        const char *folder;
    };
    for (const Case &login : {Case{"/home/alice", "/home/alice"}, Case{"/", "/"}, Case{"", "/"},
                              Case{nullptr, "/"}}) {
        fake.currentDirectory = login.answer != nullptr ? login.answer : "";
        if (login.answer == nullptr) {
            fake.Script("FtpGetCurrentDirectory", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
        }
        ASSERT_EQ(Connect(), ApiOk);
        EXPECT_EQ(Utf8FromWide(connection.CurrentFolder()), login.folder) << (login.answer ? login.answer : "refused");
    }
    EXPECT_EQ(fake.CountOf("FtpGetCurrentDirectory"), 4);
}

// A PWD that went unanswered, or broke the connection, leaves no session to
// hand the host: the open fails and closes what it opened.
TEST_F(FtpConnectionTest, ALoginWhoseSessionWentAwayAtItsPwdFails) {
    for (const uint32_t error : {ERROR_INTERNET_TIMEOUT, ERROR_INTERNET_CONNECTION_ABORTED}) {
        fake.Script("FtpGetCurrentDirectory", FakeOutcome::Failure(error));
        EXPECT_EQ(Connect(), ApiFailed) << error;
        EXPECT_EQ(fake.OpenHandleCount(), 0) << error;
        EXPECT_FALSE(connection.Failure().empty());
    }
}

TEST_F(FtpConnectionTest, FailuresToOpenOrLogInLeaveNoHandleOpen) {
    fake.Script("InternetOpen", FakeOutcome::Failure(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(Connect(), ApiInternetOpenFailed);
    fake.Script("InternetConnect", FakeOutcome::Failure(ERROR_INTERNET_LOGIN_FAILURE));
    EXPECT_EQ(Connect(), ApiConnectFailed);
    EXPECT_EQ(connection.State(), ConnectionState::Constructed);
    EXPECT_EQ(connection.CurrentFolder(), W(""));
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_TRUE(fake.problems.empty());
}

TEST_F(FtpConnectionTest, AFailingFirstListingClosesTheConnection) {
    fake.Script("FtpFindFirstFile", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(Connect(), ApiFailed);
    EXPECT_EQ(connection.State(), ConnectionState::Closed);
    EXPECT_EQ(connection.CurrentFolder(), W("/"));
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_TRUE(fake.problems.empty());
}

TEST_F(FtpConnectionTest, AListingThatBreaksOffKeepsWhatWasReadAndClosesItsFind) {
    fake.defaultListing = {{FakeFile("one"), FakeFolder("two"), FakeFile("three")},
                           ERROR_INTERNET_CONNECTION_RESET};
    ASSERT_EQ(Connect(), ApiOk);
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"one", "three"}));
    EXPECT_EQ(Utf8(connection.Folders()), (Names{"two"}));
    fake.listings.push_back({{FakeFile("x"), FakeFile("y")}, ERROR_INTERNET_CONNECTION_RESET});
    fake.Script("InternetFindNextFile", FakeOutcome::Failure(ERROR_INTERNET_CONNECTION_RESET));
    EXPECT_EQ(connection.RefreshListing(nullptr), ApiOk);
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"x"}));
    EXPECT_TRUE(connection.Folders().empty());
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(FtpConnectionTest, OnlyTheFolderBitSendsAnEntryToFolders) {
    FtpFindData readOnlyFolder = FakeFolder("ro-dir");
    readOnlyFolder.fileAttributes = 0x11;
    FtpFindData archived = FakeFile("archived");
    archived.fileAttributes = 0x20;
    FtpFindData normal = FakeFile("normal");
    normal.fileAttributes = FILE_ATTRIBUTE_NORMAL;
    fake.defaultListing.entries = {readOnlyFolder, archived, normal};
    ASSERT_EQ(Connect(), ApiOk);
    EXPECT_EQ(Utf8(connection.Folders()), (Names{"ro-dir"}));
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"archived", "normal"}));
}

TEST_F(FtpConnectionTest, AnUnterminatedNameStopsAtTheRecordsEnd) {
    FtpFindData record = FakeFile("");
    std::fill(std::begin(record.fileName), std::end(record.fileName), WideChar{'n'});
    fake.defaultListing.entries = {record};
    ASSERT_EQ(Connect(), ApiOk);
    ASSERT_EQ(connection.Assets().size(), 1u);
    EXPECT_EQ(connection.Assets()[0].size(), 259u);
}

TEST_F(FtpConnectionTest, ConnectAgainClosesBothHandlesFirstAndNothingIsClosedTwice) {
    ASSERT_EQ(Connect(), ApiOk);
    InternetHandle firstInternet = fake.calls[0].result;
    InternetHandle firstFtp = fake.calls[1].result;
    const std::size_t before = fake.calls.size();
    ASSERT_EQ(Connect(), ApiOk);
    EXPECT_EQ(fake.calls[before].name, "InternetCloseHandle");
    EXPECT_EQ(fake.calls[before].handle, firstFtp);
    EXPECT_EQ(fake.calls[before + 1].handle, firstInternet);
    EXPECT_EQ(fake.calls[before + 2].name, "InternetOpen");

    connection.CloseHandles();
    connection.CloseHandles();
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_TRUE(fake.problems.empty());
}

TEST_F(FtpConnectionTest, TheClosedConnectionFailsListingsButNotDeletes) {
    fake.defaultListing.entries = {FakeFile("kept")};
    ASSERT_EQ(Connect(), ApiOk);
    connection.CloseHandles();
    EXPECT_EQ(connection.DeleteRemoteFile(W("kept")), ApiOk);
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"kept"}));
    EXPECT_EQ(connection.RefreshListing(nullptr), ApiFailed);
    EXPECT_TRUE(connection.Assets().empty());
}

TEST_F(FtpConnectionTest, DeleteIgnoresRefusalsAndNamesWithLineBreaksNeverLeave) {
    fake.defaultListing.entries = {FakeFile("gone")};
    ASSERT_EQ(Connect(), ApiOk);
    fake.Script("FtpDeleteFile", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(connection.DeleteRemoteFile(W("missing")), ApiOk);
    EXPECT_EQ(connection.DeleteRemoteFile(W("gone\r\nRMD /")), ApiOk);
    const auto deletes = fake.CallsNamed("FtpDeleteFile");
    ASSERT_EQ(deletes.size(), 2u);
    EXPECT_EQ(deletes[1]->error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Utf8(connection.Assets()), (Names{"gone"}));
    // A connection that went away is no refusal: the file is still there.
    fake.Script("FtpDeleteFile", FakeOutcome::Failure(ERROR_INTERNET_CONNECTION_ABORTED));
    EXPECT_EQ(connection.DeleteRemoteFile(W("gone")), ApiFailed);
}

TEST_F(FtpConnectionTest, EntriesOutsideTheListLeaveTheOutputsAlone) {
    fake.defaultListing.entries = {FakeFolder("only"), FakeFile("\xc3\xa9t\xc3\xa9")};
    ASSERT_EQ(Connect(), ApiOk);
    WideChar text[8] = {'x', 0};
    uint32_t length = 8;
    EXPECT_EQ(connection.FolderAt(-1, text, &length), ApiIndexOutOfRange);
    EXPECT_EQ(connection.FolderAt(1, text, &length), ApiIndexOutOfRange);
    EXPECT_EQ(connection.AssetAt(1, text, &length), ApiIndexOutOfRange);
    EXPECT_EQ(WideString(text), W("x"));
    EXPECT_EQ(length, 8u);
    ASSERT_EQ(connection.FolderAt(0, text, &length), ApiOk);
    EXPECT_EQ(WideString(text), W("only"));
    EXPECT_EQ(length, 5u);
    // Decoded straight into the host's buffer: asked with one unit too few, the
    // buffer stays as it was and the length says what is needed.
    length = 3;
    EXPECT_EQ(connection.AssetAt(0, text, &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(WideString(text), W("only"));
    ASSERT_EQ(connection.AssetAt(0, text, &length), ApiOk);
    EXPECT_EQ(WideString(text), WideString(u"\u00e9t\u00e9"));
}

// The status callback forwards to the one set before it, and only to a real one.
int forwarded = 0;
uintptr_t forwardedContext = 0;
void SAPI_WINAPI Earlier(InternetHandle, uintptr_t context, uint32_t status, void *, uint32_t) {
    ++forwarded;
    forwardedContext = context;
    EXPECT_EQ(status, 40u);
}

TEST_F(FtpConnectionTest, StatusNotificationsGoOnlyToAnEarlierCallback) {
    forwarded = 0;
    ASSERT_EQ(Connect(), ApiOk);
    fake.Notify(LoginHandle(), 40);
    EXPECT_EQ(forwarded, 0);

    FtpConnection chained(nullptr, false, fake);
    fake.previousCallback = &Earlier;
    ASSERT_EQ(chained.Connect(W("h"), 21, W("u"), W("p"), true), ApiOk);
    fake.Notify(LoginHandle(), 40);
    EXPECT_EQ(forwarded, 1);
    EXPECT_EQ(forwardedContext, reinterpret_cast<uintptr_t>(&chained));
    FtpConnection::StatusCallback(nullptr, 0, 40, nullptr, 0);
    EXPECT_EQ(forwarded, 1);

    fake.previousCallback = INTERNET_INVALID_STATUS_CALLBACK;
    ASSERT_EQ(chained.Connect(W("h"), 21, W("u"), W("p"), true), ApiOk);
    fake.Notify(LoginHandle(), 40);
    EXPECT_EQ(forwarded, 1);
}

// Our own callback handed back as the earlier one would call itself without
// end, and once the compiler turns that call into a jump it is a silent hang
// rather than a crash. The child gets a few seconds: a lost guard fails here at
// once instead of at the suite's timeout.
using FtpConnectionDeathTest = FtpConnectionTest;

TEST_F(FtpConnectionDeathTest, ItsOwnCallbackIsNeverCalledAsTheEarlierOne) {
    fake.previousCallback = &FtpConnection::StatusCallback;
    ASSERT_EQ(Connect(), ApiOk);
    EXPECT_EXIT(
        {
            ::alarm(10);
            fake.Notify(LoginHandle(), 40);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FtpConnectionTest, AnExhaustedHeapDuringAListingStillClosesTheFind) {
    fake.defaultListing.entries = {FakeFile("a"), FakeFile("b")};
    ASSERT_EQ(Connect(), ApiOk);
    fake.OnCall("InternetFindNextFile", 3, [] { throw std::bad_alloc(); });
    EXPECT_THROW(connection.RefreshListing(nullptr), std::bad_alloc);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
    EXPECT_TRUE(fake.problems.empty());
}

}  // namespace
}  // namespace sapi::testing
