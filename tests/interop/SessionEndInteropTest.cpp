// A server that goes away, or closes an idle session, must turn the next calls
// into failures: never a success, never a wait without end.
#include <chrono>
#include <thread>

#include "InteropFixture.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

void ExpectEveryCallFails(InteropClient &client) {
    EXPECT_FALSE(client.Command("SIZE a.txt")) << client.LastResponse();
    EXPECT_NE(client.LastError(), wininet::ERROR_SUCCESS);
    EXPECT_FALSE(client.List()) << client.LastResponse();
    EXPECT_FALSE(client.Retrieve("a.txt"));
    EXPECT_FALSE(client.Store("b.txt", "bytes"));
    EXPECT_FALSE(client.CurrentFolder());
}

class ServerGoneInteropTest : public InteropTest {
protected:
    void Populate() override { test::WriteWholeFile(root() / "a.txt", "twelve bytes"); }
};

TEST_P(ServerGoneInteropTest, CallsAfterTheServerStoppedFail) {
    ASSERT_TRUE(client().Command("SIZE a.txt")) << client().LastResponse();
    server().Stop();
    ExpectEveryCallFails(client());
}

SAPI_INTEROP_SUITE(ServerGoneInteropTest);

class IdleTimeoutInteropTest : public InteropTest {
protected:
    static constexpr int IdleSeconds = 2;
    void Populate() override {
        test::WriteWholeFile(root() / "a.txt", "twelve bytes");
        test::WriteWholeFile(root() / "b.txt", "in root");
        test::WriteWholeFile(root() / "sub" / "b.txt", "in sub");
    }
    void Configure(test::TestFtpServerOptions &options) override { options.idleTimeoutSeconds = IdleSeconds; }

    // A client that opens a dropped session again, in /sub.
    void ConnectRecoveringInSub(InteropClient &recovering) {
        recovering.beforeConnect = [](FtpClientServices &services, InternetHandle root) {
            const uint32_t on = 1;
            return services.InternetSetOption(root, SAPI_OPTION_FTP_RECONNECT, &on, sizeof on);
        };
        ASSERT_TRUE(recovering.Connect("127.0.0.1", server().port(), server().user(), server().password(), true));
        ASSERT_TRUE(recovering.ChangeFolder("sub"));
        ASSERT_EQ(recovering.CurrentFolder(), "/sub");
    }
};

TEST_P(IdleTimeoutInteropTest, CallsAfterTheServerClosedAnIdleSessionFail) {
    // Not SIZE: it opens the data connection of the retrieval expected next,
    // and pyftpdlib ends no session while one is open (until the data
    // connection's own timeout, five minutes by default).
    ASSERT_TRUE(client().CurrentFolder()) << client().LastResponse();
    // Long enough for the server to send its "421 Timeout." and close.
    std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds + 3));
    ExpectEveryCallFails(client());
}

// With recovery asked for, the call after the idle timeout runs on a new
// session, in the folder the old one was in.
TEST_P(IdleTimeoutInteropTest, WithReconnectTheCallAfterAnIdleTimeoutSucceedsInTheSameFolder) {
    InteropClient recovering;
    ConnectRecoveringInSub(recovering);
    std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds + 3));
    EXPECT_EQ(recovering.Retrieve("b.txt"), "in sub") << recovering.LastResponse();
    EXPECT_EQ(recovering.CurrentFolder(), "/sub");
}

// The folder renamed while the session was idle: every call that depends on
// the folder fails, and none acts in the login folder instead, until the host
// names a folder by its absolute path.
TEST_P(IdleTimeoutInteropTest, WithReconnectAFolderGoneWhileIdleFailsEveryCallAndTouchesNothing) {
    InteropClient recovering;
    ConnectRecoveringInSub(recovering);
    std::this_thread::sleep_for(std::chrono::seconds(IdleSeconds + 3));
    std::filesystem::rename(root() / "sub", root() / "moved");
    EXPECT_EQ(recovering.Retrieve("b.txt"), std::nullopt);
    EXPECT_NE(recovering.LastResponse().find("the folder /sub cannot be entered again"), std::string::npos)
        << recovering.LastResponse();
    EXPECT_FALSE(recovering.Command("SIZE b.txt"));
    EXPECT_FALSE(recovering.List());
    EXPECT_FALSE(recovering.Store("c.txt", "bytes"));
    EXPECT_FALSE(recovering.Delete("b.txt"));
    EXPECT_EQ(test::ReadWholeFile(root() / "b.txt"), "in root");
    EXPECT_FALSE(std::filesystem::exists(root() / "c.txt"));
    ASSERT_TRUE(recovering.ChangeFolder("/moved")) << recovering.LastResponse();
    EXPECT_EQ(recovering.Retrieve("b.txt"), "in sub") << recovering.LastResponse();
}

// pure-ftpd counts idle time in whole minutes; one passive case per server is
// enough, since the session ends the same way in both modes.
INSTANTIATE_TEST_SUITE_P(Servers, IdleTimeoutInteropTest,
                         testing::Values(ServerMode{"pyftpdlib", true}, ServerMode{"vsftpd", true},
                                         ServerMode{"proftpd", true}),
                         ServerModeName);

}  // namespace
}  // namespace sapi::interop
