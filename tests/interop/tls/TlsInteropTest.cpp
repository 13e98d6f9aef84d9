// FTPS on every server and mode we can start: explicit on all four, implicit
// on vsftpd and proftpd (pure-ftpd and pyftpdlib have none), passive and
// active. Each case runs the whole round on one server start (ctest runs every
// case in a process of its own, so nothing is shared across cases).
#include <gtest/gtest.h>

#include <ostream>
#include <set>

#include "TlsTestSupport.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

struct TlsMode {
    std::string kind;
    std::string tls;  // "explicit" or "implicit"
    bool passive = true;
};

void PrintTo(const TlsMode &mode, std::ostream *out) {
    *out << mode.kind << ", " << mode.tls << (mode.passive ? ", passive" : ", active");
}

std::vector<TlsMode> AllTlsModes() {
    std::vector<TlsMode> modes;
    for (const std::string &kind : test::TestFtpServer::Kinds()) {
        for (const bool passive : {true, false}) {
            modes.push_back({kind, "explicit", passive});
            if (kind == "vsftpd" || kind == "proftpd") modes.push_back({kind, "implicit", passive});
        }
    }
    return modes;
}

// Names a listing must bring back whole, and files of the sizes that end
// transfers in different ways (nothing, one record, many).
const char *const awkwardNames[] = {"with space.txt", "\xC3\xA9t\xC3\xA9.txt", "semi;colon [1].txt", "-dash.txt"};
constexpr std::size_t mebibyte = 1 << 20;

void Populate(const std::filesystem::path &root) {
    for (const char *name : awkwardNames) test::WriteWholeFile(root / name, name);
    test::WriteWholeFile(root / "zero.bin", "");
    test::WriteWholeFile(root / "one.bin", "\xFF");
    test::WriteWholeFile(root / "mebibyte.bin", test::PseudoRandomBytes(mebibyte, 7));
    test::WritePseudoRandomFile(root / "big.bin", 16 * mebibyte, 8);
    std::filesystem::create_directories(root / "sub folder");
}

class TlsRound {
public:
    explicit TlsRound(const TlsMode &mode) : mode_(mode), server_(mode.kind, mode.tls, "server", Populate) {
        UseTestTimeouts();
    }

    bool Connect(InteropClient &client, const std::string &password) {
        UseTls(client, Tls(mode_.tls == "implicit" ? 2 : 1, TestCertificates::Get().caFile().string()));
        return client.Connect("127.0.0.1", server().port(), server().user(), password, mode_.passive);
    }
    test::TestFtpServer &server() { return *server_.server; }
    const std::filesystem::path &root() const { return server_.root; }

    void ListsAwkwardNamesAndMovesExactBytesBothWays();
    void RetrievalStoppedAfter32BytesLeavesTheSessionInStep();
    void WrongPasswordIsRefused();
    void HundredMebibytesBothWays();

private:
    TlsMode mode_;
    TlsServer server_;

public:
    InteropClient client_;  // gone before the server
};

void TlsRound::ListsAwkwardNamesAndMovesExactBytesBothWays() {
    const auto entries = client_.List();
    ASSERT_TRUE(entries) << client_.LastError() << ": " << client_.LastResponse();
    std::set<std::string> names;
    for (const auto &entry : *entries) names.insert(entry.name);
    for (const char *name : awkwardNames) EXPECT_TRUE(names.count(name)) << name;
    EXPECT_TRUE(names.count("sub folder"));

    for (const char *name : {"zero.bin", "one.bin", "mebibyte.bin"}) {
        const auto bytes = client_.Retrieve(name);
        ASSERT_TRUE(bytes) << name << ": " << client_.LastError() << " " << client_.LastResponse();
        EXPECT_TRUE(*bytes == test::ReadWholeFile(root() / name)) << name << ": " << bytes->size() << " bytes";
    }
    for (const auto &[name, bytes] : {std::pair<std::string, std::string>{"up-zero.bin", ""},
                                      {"up-one.bin", std::string(1, '\0')},
                                      {"up-mebibyte.bin", test::PseudoRandomBytes(mebibyte, 9)}}) {
        ASSERT_TRUE(client_.Store(name, bytes)) << name << ": " << client_.LastError() << " " << client_.LastResponse();
        EXPECT_TRUE(test::ReadWholeFile(root() / name) == bytes) << name;
    }
}

// The plug-in's file test: SIZE, a retrieval closed after 32 bytes (a TLS
// stream dropped mid-record, with no shutdown), ABOR; then every command must
// get its own reply and the data connections must still resume the session.
void TlsRound::RetrievalStoppedAfter32BytesLeavesTheSessionInStep() {
    for (int round = 0; round < 2; ++round) {
        ServiceHandle file = client_.OpenFile("big.bin", false);
        ASSERT_TRUE(file) << client_.LastError() << ": " << client_.LastResponse();
        char buffer[32] = {};
        uint32_t count = 0;
        EXPECT_TRUE(client_.services().InternetReadFile(file.get(), buffer, sizeof buffer, &count));
        EXPECT_EQ(std::string(buffer, count), test::ReadWholeFile(root() / "big.bin").substr(0, count));
        EXPECT_TRUE(file.Close()) << client_.LastResponse();
        client_.Command("ABOR");
    }
    for (const auto &[name, size] : {std::pair<const char *, int64_t>{"one.bin", 1}, {"mebibyte.bin", mebibyte}}) {
        ASSERT_TRUE(client_.Command(std::string("SIZE ") + name)) << client_.LastResponse();
        EXPECT_EQ(SizeInReply(client_.LastResponse()), size) << client_.LastResponse();
    }
    EXPECT_EQ(client_.Retrieve("one.bin"), std::optional<std::string>("\xFF"));
    EXPECT_TRUE(client_.List()) << client_.LastResponse();
}

void TlsRound::WrongPasswordIsRefused() {
    InteropClient other;
    EXPECT_FALSE(Connect(other, "wrong"));
    EXPECT_EQ(other.LastError(), wininet::ERROR_INTERNET_INCORRECT_PASSWORD) << other.LastResponse();
    EXPECT_EQ(other.LastResponse().substr(0, 3), "530") << other.LastResponse();
}

void TlsRound::HundredMebibytesBothWays() {
    const test::TempDir local("sapi-interop-tls-local");
    test::WritePseudoRandomFile(local / "up.bin", 100 * mebibyte, 11);
    ASSERT_TRUE(client_.StoreFromFile("hundred.bin", local / "up.bin")) << client_.LastResponse();
    EXPECT_TRUE(test::SameFileContents(local / "up.bin", root() / "hundred.bin"));
    ASSERT_TRUE(client_.RetrieveToFile("hundred.bin", local / "down.bin")) << client_.LastResponse();
    EXPECT_TRUE(test::SameFileContents(local / "up.bin", local / "down.bin"));
}

class TlsInteropTest : public testing::TestWithParam<TlsMode> {};

TEST_P(TlsInteropTest, LoginListingTransfersEarlyCloseAndWrongPassword) {
    TlsRound round(GetParam());
    ASSERT_TRUE(round.Connect(round.client_, round.server().password()))
        << round.client_.LastError() << ": " << round.client_.LastResponse();
    {
        SCOPED_TRACE("listing and transfers");
        round.ListsAwkwardNamesAndMovesExactBytesBothWays();
    }
    {
        SCOPED_TRACE("retrieval stopped after 32 bytes");
        round.RetrievalStoppedAfter32BytesLeavesTheSessionInStep();
    }
    SCOPED_TRACE("wrong password");
    round.WrongPasswordIsRefused();
}

// Once, on the server that is strictest about the end of an upload.
TEST(TlsInteropLarge, HundredMebibytesBothWaysOnVsftpd) {
    TlsRound round({"vsftpd", "explicit", true});
    ASSERT_TRUE(round.Connect(round.client_, round.server().password())) << round.client_.LastResponse();
    round.HundredMebibytesBothWays();
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsInteropTest, testing::ValuesIn(AllTlsModes()),
                         [](const testing::TestParamInfo<TlsMode> &parameter) {
                             const TlsMode &mode = parameter.param;
                             return mode.kind + "_" + mode.tls + (mode.passive ? "_passive" : "_active");
                         });

}  // namespace
}  // namespace sapi::interop
