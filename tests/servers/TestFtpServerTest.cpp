// The launcher as the other suites rely on it: each server comes up, logs our
// user in, and when the wrapper goes away the server and its open sessions go too.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "TestFiles.h"
#include "TestFtpServer.h"

namespace sapi::test {
namespace {

// A bare control connection: enough to read replies without any client library.
class RawControl {
public:
    RawControl(const std::string &address, uint16_t port) {
        const bool ipv6 = address.find(':') != std::string::npos;
        socket_ = UniqueFd(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_storage peer{};
        socklen_t length = 0;
        if (ipv6) {
            auto *in6 = reinterpret_cast<sockaddr_in6 *>(&peer);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(port);
            ::inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr);
            length = sizeof *in6;
        } else {
            auto *in4 = reinterpret_cast<sockaddr_in *>(&peer);
            in4->sin_family = AF_INET;
            in4->sin_port = htons(port);
            ::inet_pton(AF_INET, address.c_str(), &in4->sin_addr);
            length = sizeof *in4;
        }
        connected_ = ::connect(socket_.get(), reinterpret_cast<sockaddr *>(&peer), length) == 0;
    }

    bool connected() const { return connected_; }

    void Send(const std::string &line) {
        const std::string wire = line + "\r\n";
        ASSERT_EQ(::send(socket_.get(), wire.data(), wire.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(wire.size()));
    }

    // True when the server closes the connection (replies before that, such as a
    // 421 on shutdown, are skipped); false after 20 seconds without an end.
    bool ReachesEndOfStream() {
        while (true) {
            pollfd entry{socket_.get(), POLLIN, 0};
            if (::poll(&entry, 1, 20000) <= 0) return false;
            char buffer[1024];
            if (::recv(socket_.get(), buffer, sizeof buffer, 0) <= 0) return true;
        }
    }

    // The last line of the next reply ("230 ..."), or "" at end of stream or
    // after 20 seconds of silence.
    std::string Reply() {
        while (true) {
            for (std::size_t end; (end = pending_.find("\r\n")) != std::string::npos;) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 2);
                if (line.size() >= 4 && line[3] == ' ') return line;
            }
            pollfd entry{socket_.get(), POLLIN, 0};
            if (::poll(&entry, 1, 20000) <= 0) return "";
            char buffer[1024];
            const ssize_t count = ::recv(socket_.get(), buffer, sizeof buffer, 0);
            if (count <= 0) return "";
            pending_.append(buffer, static_cast<std::size_t>(count));
        }
    }

private:
    UniqueFd socket_;
    bool connected_ = false;
    std::string pending_;
};

std::string Code(const std::string &reply) { return reply.substr(0, 3); }

class LauncherTest : public testing::TestWithParam<std::string> {};

TEST_P(LauncherTest, LogsInOurUserAndStopsWithItsSessions) {
    TempDir work;
    WriteWholeFile(work / "root" / "a.txt", "twelve bytes");
    uint16_t port = 0;
    std::optional<RawControl> session;
    {
        TestFtpServer server(GetParam(), work / "root");
        port = server.port();
        session.emplace("127.0.0.1", port);
        ASSERT_TRUE(session->connected());
        EXPECT_EQ(Code(session->Reply()), "220");
        session->Send("USER " + server.user());
        EXPECT_EQ(Code(session->Reply()), "331");
        session->Send("PASS " + server.password());
        EXPECT_EQ(Code(session->Reply()), "230");
        session->Send("TYPE I");
        EXPECT_EQ(Code(session->Reply()), "200");
        session->Send("SIZE a.txt");
        EXPECT_EQ(session->Reply(), "213 12");
    }
    // vsftpd and pure-ftpd sessions outlive their listener unless ended one by one.
    EXPECT_TRUE(session->ReachesEndOfStream());
    EXPECT_FALSE(RawControl("127.0.0.1", port).connected());
}

// Logs in on a fresh control connection; the last reply, "230 ..." on success.
std::string LogIn(RawControl &session, const TestFtpServer &server, const std::string &password) {
    if (Code(session.Reply()) != "220") return "no greeting";
    session.Send("USER " + server.user());
    session.Reply();
    session.Send("PASS " + password);
    return session.Reply();
}

// vsftpd's system account is shared by the launchers running at the same time:
// the first one out must not take it away from the other.
TEST(LauncherAccountTest, TwoVsftpdShareTheAccountUntilTheLastStops) {
    TempDir work;
    auto first = std::make_unique<TestFtpServer>("vsftpd", work / "one");
    TestFtpServer second("vsftpd", work / "two");
    first.reset();
    RawControl session("127.0.0.1", second.port());
    ASSERT_TRUE(session.connected());
    EXPECT_EQ(Code(LogIn(session, second, second.password())), "230");
}

TEST(LauncherOptionsTest, SizeInAsciiModeOnlyWhenAsked) {
    TempDir work;
    WriteWholeFile(work / "root" / "a.txt", "twelve bytes");
    for (const bool sizeInAscii : {false, true}) {
        TestFtpServerOptions options;
        options.sizeInAscii = sizeInAscii;
        TestFtpServer server("pyftpdlib", work / "root", TestFtpServer::DefaultUser,
                             TestFtpServer::DefaultPassword, options);
        RawControl session("127.0.0.1", server.port());
        ASSERT_EQ(Code(LogIn(session, server, server.password())), "230");
        session.Send("SIZE a.txt");  // no TYPE I before it
        EXPECT_EQ(Code(session.Reply()), sizeInAscii ? "213" : "550");
    }
}

TEST(LauncherOptionsTest, ReadOnlyFoldersRefuseUploads) {
    TempDir work;
    for (const auto &kind : TestFtpServer::PlainKinds()) {
        TestFtpServerOptions options;
        options.readOnlyFolders = {"ro"};
        TestFtpServer server(kind, work / kind, TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                             options);
        RawControl session("127.0.0.1", server.port());
        ASSERT_EQ(Code(LogIn(session, server, server.password())), "230") << kind;
        session.Send("MKD ro/new");
        EXPECT_EQ(Code(session.Reply()), "550") << kind;
        session.Send("MKD new");
        EXPECT_EQ(Code(session.Reply()), "257") << kind;
    }
}

TEST(LauncherIpv6Test, PyftpdlibListensOnIpv6Loopback) {
    TempDir work;
    TestFtpServerOptions options;
    options.address = "::1";
    TestFtpServer server("pyftpdlib", work / "root", TestFtpServer::DefaultUser,
                         TestFtpServer::DefaultPassword, options);
    RawControl session("::1", server.port());
    ASSERT_TRUE(session.connected());
    EXPECT_EQ(Code(session.Reply()), "220");
}

TEST(LauncherFailureTest, ReportsAServerThatCannotStart) {
    TempDir work;
    TestFtpServerOptions options;
    options.address = "not-an-address";
    EXPECT_THROW(TestFtpServer("pyftpdlib", work / "root", TestFtpServer::DefaultUser,
                               TestFtpServer::DefaultPassword, options),
                 std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, LauncherTest, testing::ValuesIn(TestFtpServer::PlainKinds()),
                         [](const testing::TestParamInfo<std::string> &parameter) { return parameter.param; });

}  // namespace
}  // namespace sapi::test
