// Changing folders on the scripted client: what is sent, and what the connection
// records as its folder when the server answers, refuses or stays silent.
#include <gtest/gtest.h>

#include "FakeFtpClientServices.h"
#include "ftp/FtpConnection.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::testing {
namespace {

using namespace sapi::wininet;
using Names = std::vector<std::string>;

WideString W(std::string_view text) { return WideFromUtf8(text); }

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.defaultListing.entries = {FakeFolder("sub"), FakeFile("file.txt")};
        ASSERT_EQ(connection.Connect(W("h"), 21, W("u"), W("p"), true), ApiOk);
        fake.calls.clear();
    }
    // The calls made since SetUp, closes of find handles left out.
    Names Sent() const {
        Names names;
        for (const FakeCall &call : fake.calls) {
            if (call.name != "InternetFindNextFile" && call.name != "InternetCloseHandle") {
                names.push_back(call.name);
            }
        }
        return names;
    }
    std::optional<std::string> TextOf(std::size_t call) const { return fake.calls.at(call).texts.at(0); }
    // Puts the connection in `folder` as a server's answer to PWD would.
    void MoveTo(const char *folder) {
        fake.directoryAnswers.push_back(folder);
        ASSERT_EQ(connection.ChangeCurrentFolder(W("elsewhere")), ApiOk);
        fake.calls.clear();
    }

    FakeFtpClientServices fake;
    FtpConnection connection{nullptr, false, fake};
};

TEST_F(NavigationTest, ADotStaysWithoutAWord) {
    fake.Script("FtpFindFirstFile", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    ASSERT_EQ(connection.RefreshListing(nullptr), ApiFailed);
    fake.calls.clear();
    EXPECT_EQ(connection.ChangeCurrentFolder(W(".")), ApiOk);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_TRUE(connection.Assets().empty());
}

TEST_F(NavigationTest, EnteringTakesTheServersAnswerAndListsIt) {
    fake.currentDirectory = "/srv/sub";
    fake.listings.push_back({{FakeFile("inner.txt")}});
    ASSERT_EQ(connection.ChangeCurrentFolder(W("sub")), ApiOk);
    EXPECT_EQ(Sent(), (Names{"FtpSetCurrentDirectory", "FtpGetCurrentDirectory", "FtpFindFirstFile"}));
    EXPECT_EQ(TextOf(0), "sub");
    EXPECT_EQ(fake.calls[1].number, 1025u);
    EXPECT_EQ(connection.CurrentFolder(), W("/srv/sub"));
    EXPECT_EQ(fake.CallsNamed("FtpFindFirstFile")[0]->texts[0], "/srv/sub");
    EXPECT_EQ(connection.Assets().ToVector(), std::vector<WideString>{W("inner.txt")});
    EXPECT_TRUE(connection.Folders().empty());
}

TEST_F(NavigationTest, AFolderThatCannotBeEnteredIsCreatedAndEntered) {
    fake.Script("FtpSetCurrentDirectory", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    fake.currentDirectory = "/new";
    fake.listings.push_back({});
    ASSERT_EQ(connection.ChangeCurrentFolder(W("new")), ApiOk);
    EXPECT_EQ(Sent(), (Names{"FtpSetCurrentDirectory", "FtpCreateDirectory", "FtpSetCurrentDirectory",
                             "FtpGetCurrentDirectory", "FtpFindFirstFile"}));
    EXPECT_EQ(TextOf(1), "new");
    EXPECT_EQ(connection.CurrentFolder(), W("/new"));
    EXPECT_TRUE(connection.Folders().empty());
    EXPECT_TRUE(connection.Assets().empty());
}

TEST_F(NavigationTest, ARefusedFolderLeavesEverythingAsItWas) {
    // Creation refused (a file's name), and created but still not enterable.
    for (int createWorks = 0; createWorks < 2; ++createWorks) {
        fake.calls.clear();
        fake.ScriptFailures("FtpSetCurrentDirectory", ERROR_INTERNET_EXTENDED_ERROR, 2);
        if (createWorks == 0) fake.Script("FtpCreateDirectory", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
        EXPECT_EQ(connection.ChangeCurrentFolder(W("file.txt")), ApiFolderUnavailable);
        const Names expected = createWorks == 0
            ? Names{"FtpSetCurrentDirectory", "FtpCreateDirectory", "FtpGetCurrentDirectory"}
            : Names{"FtpSetCurrentDirectory", "FtpCreateDirectory", "FtpSetCurrentDirectory",
                    "FtpGetCurrentDirectory"};
        EXPECT_EQ(Sent(), expected);
        EXPECT_EQ(connection.CurrentFolder(), W("/"));
        EXPECT_EQ(connection.Folders().ToVector(), std::vector<WideString>{W("sub")});
        EXPECT_EQ(connection.Assets().ToVector(), std::vector<WideString>{W("file.txt")});
    }
}

struct ParentCase {
    const char *before;
    const char *fallback;
};

void PrintTo(const ParentCase &cut, std::ostream *out) { *out << '"' << cut.before << "\" -> \"" << cut.fallback << '"'; }

class ParentFallbackTest : public NavigationTest, public ::testing::WithParamInterface<ParentCase> {};

TEST_P(ParentFallbackTest, UpWithoutAnAnswerCutsAfterTheParentsSlash) {
    MoveTo(GetParam().before);
    fake.Script("FtpGetCurrentDirectory", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    ASSERT_EQ(connection.ChangeCurrentFolder(W("..")), ApiOk);
    EXPECT_EQ(TextOf(0), "..");
    EXPECT_EQ(Utf8FromWide(connection.CurrentFolder()), GetParam().fallback);
}

INSTANTIATE_TEST_SUITE_P(Cuts, ParentFallbackTest,
                         ::testing::Values(ParentCase{"/a/b", "/a/"}, ParentCase{"/a/b/", "/a/"},
                                           ParentCase{"/a", "/"}, ParentCase{"/", "/"},
                                           ParentCase{"a/b", "a/"}, ParentCase{"ab", "ab"},
                                           ParentCase{"", ""}));

TEST_F(NavigationTest, UpTakesTheServersAnswerWhenThereIsOne) {
    MoveTo("/a/b");
    fake.currentDirectory = "/a";
    ASSERT_EQ(connection.ChangeCurrentFolder(W("..")), ApiOk);
    EXPECT_EQ(connection.CurrentFolder(), W("/a"));
}

// Without an answer a path from the root is taken as given and any other name
// is joined to the current folder; only ".." itself goes up.
TEST_F(NavigationTest, WithoutAnAnswerOtherNamesAreJoinedToTheCurrentFolder) {
    struct Case {
        const char *before;
        const char *name;
        const char *after;
    };
    for (const Case &move : {Case{"/docs", "sub", "/docs/sub"}, Case{"/docs/", "sub", "/docs/sub"},
                             Case{"/", "a/b", "/a/b"}, Case{"/docs", "/x/y", "/x/y"},
                             Case{"/docs", "./", "/docs/./"}, Case{"/docs", " ..", "/docs/ .."},
                             Case{"/docs", "../", "/docs/../"}, Case{"", "sub", "/sub"}}) {
        MoveTo(move.before);
        fake.Script("FtpGetCurrentDirectory", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
        ASSERT_EQ(connection.ChangeCurrentFolder(W(move.name)), ApiOk) << move.name;
        EXPECT_EQ(TextOf(0), move.name);
        EXPECT_EQ(Utf8FromWide(connection.CurrentFolder()), move.after) << move.before << " + " << move.name;
        EXPECT_EQ(fake.CallsNamed("FtpFindFirstFile").at(0)->texts[0], move.after);
    }
}

TEST_F(NavigationTest, AFailingListingAfterTheMoveKeepsTheNewFolder) {
    fake.currentDirectory = "/sub";
    fake.Script("FtpFindFirstFile", FakeOutcome::Failure(ERROR_INTERNET_CONNECTION_RESET));
    EXPECT_EQ(connection.ChangeCurrentFolder(W("sub")), ApiFailed);
    EXPECT_EQ(connection.CurrentFolder(), W("/sub"));
    EXPECT_TRUE(connection.Folders().empty());
    EXPECT_TRUE(connection.Assets().empty());
    EXPECT_TRUE(connection.IsOpen());
}

TEST_F(NavigationTest, NamesTooLongToRecordAreRefusedBeforeSending) {
    EXPECT_EQ(connection.ChangeCurrentFolder(WideString(1025, WideChar{'d'})), ApiFolderUnavailable);
    EXPECT_TRUE(fake.calls.empty());

    fake.Script("FtpGetCurrentDirectory", FakeOutcome::Failure(ERROR_INSUFFICIENT_BUFFER));
    const WideString longest = W("/") + WideString(1023, WideChar{'d'});
    EXPECT_EQ(connection.ChangeCurrentFolder(longest), ApiOk);
    EXPECT_EQ(connection.CurrentFolder(), longest);
}

TEST_F(NavigationTest, AnAnswerTooLongForTheBufferGivesWayToTheFallback) {
    fake.directoryAnswers = {std::string(1024, 'p')};
    ASSERT_EQ(connection.ChangeCurrentFolder(W("p")), ApiOk);
    EXPECT_EQ(connection.CurrentFolder().size(), 1024u);
    MoveTo("/srv");
    fake.directoryAnswers = {std::string(1025, 'p')};
    ASSERT_EQ(connection.ChangeCurrentFolder(W("q")), ApiOk);
    EXPECT_EQ(connection.CurrentFolder(), W("/srv/q"));
}

TEST_F(NavigationTest, AClosedConnectionMovesNowhere) {
    connection.CloseHandles();
    EXPECT_EQ(connection.ChangeCurrentFolder(W("sub")), ApiFolderUnavailable);
    EXPECT_EQ(connection.ChangeCurrentFolder(W("..")), ApiFolderUnavailable);
    EXPECT_EQ(connection.ChangeCurrentFolder(W(".")), ApiOk);
    EXPECT_EQ(connection.CurrentFolder(), W("/"));
}

TEST_F(NavigationTest, ANameWithALineBreakIsNeitherEnteredNorCreated) {
    EXPECT_EQ(connection.ChangeCurrentFolder(W("sub\r\nDELE file.txt")), ApiFolderUnavailable);
    for (const FakeCall &call : fake.calls) {
        if (call.name != "FtpGetCurrentDirectory") {
            EXPECT_EQ(call.error, ERROR_INVALID_PARAMETER);
        }
    }
    EXPECT_EQ(connection.CurrentFolder(), W("/"));
}

}  // namespace
}  // namespace sapi::testing
