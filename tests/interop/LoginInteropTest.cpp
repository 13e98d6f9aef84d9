// Logging in: refusals, a port nobody listens on, and IPv6 loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "InteropFixture.h"
#include "UniqueFd.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

class WrongPasswordTest : public testing::TestWithParam<std::string> {};

TEST_P(WrongPasswordTest, IsRefusedWith12014AndTheRightOneStillWorks) {
    test::TempDir work("sapi-interop");
    test::TestFtpServer server(GetParam(), work / "root");
    InteropClient client;
    EXPECT_FALSE(client.Connect("127.0.0.1", server.port(), server.user(), "wrong", true));
    EXPECT_EQ(client.LastError(), wininet::ERROR_INTERNET_INCORRECT_PASSWORD);
    EXPECT_EQ(client.LastResponse().substr(0, 3), "530") << client.LastResponse();
    EXPECT_TRUE(client.Connect("127.0.0.1", server.port(), server.user(), server.password(), true))
        << client.LastError() << ": " << client.LastResponse();
}

INSTANTIATE_TEST_SUITE_P(Servers, WrongPasswordTest, testing::ValuesIn(test::TestFtpServer::Kinds()),
                         [](const testing::TestParamInfo<std::string> &parameter) { return parameter.param; });

TEST(HostNameTest, ConnectsToAServerNamedByHostName) {
    test::TempDir work("sapi-interop");
    test::TestFtpServer server("pyftpdlib", work / "root");
    InteropClient client;
    EXPECT_TRUE(client.Connect("localhost", server.port(), server.user(), server.password(), true))
        << client.LastError() << ": " << client.LastResponse();
}

// A port that is bound but not listening refuses every connection, and stays
// ours for as long as the test holds it.
TEST(RefusedConnectionTest, PortWithoutListenerGives12029) {
    for (const char *address : {"127.0.0.1", "::1"}) {
        const bool ipv6 = std::string(address) == "::1";
        test::UniqueFd holder(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_storage bound{};
        socklen_t length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        bound.ss_family = static_cast<sa_family_t>(ipv6 ? AF_INET6 : AF_INET);
        if (ipv6)
            ::inet_pton(AF_INET6, address, &reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_addr);
        else
            ::inet_pton(AF_INET, address, &reinterpret_cast<sockaddr_in *>(&bound)->sin_addr);
        ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr *>(&bound), length), 0);
        ASSERT_EQ(::getsockname(holder.get(), reinterpret_cast<sockaddr *>(&bound), &length), 0);
        const uint16_t port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                         : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);

        InteropClient client;
        EXPECT_FALSE(client.Connect(address, port, "user", "password", true)) << address;
        EXPECT_EQ(client.LastError(), wininet::ERROR_INTERNET_CANNOT_CONNECT) << address;
    }
}

// The whole round on IPv6 loopback: EPSV in passive mode, EPRT in active mode.
class Ipv6InteropTest : public InteropTest {
protected:
    std::string Address() const override { return "::1"; }
    void Populate() override { test::WriteWholeFile(root() / "a.txt", "twelve bytes"); }
};

TEST_P(Ipv6InteropTest, ListsRetrievesAndStores) {
    if (GetParam().kind == "twisted") GTEST_SKIP() << "Twisted's server has PASV and PORT only: IPv4 data connections";
    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    bool listed = false;
    for (const auto &entry : *entries) listed = listed || entry.name == "a.txt";
    EXPECT_TRUE(listed);
    EXPECT_EQ(client().Retrieve("a.txt"), std::optional<std::string>("twelve bytes"));
    const std::string bytes = test::PseudoRandomBytes(1 << 20, 6);
    ASSERT_TRUE(client().Store("up.bin", bytes)) << client().LastError() << ": " << client().LastResponse();
    EXPECT_TRUE(test::ReadWholeFile(root() / "up.bin") == bytes);
    ASSERT_TRUE(client().Command("SIZE up.bin")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 1 << 20);
}

SAPI_INTEROP_SUITE(Ipv6InteropTest);

}  // namespace
}  // namespace sapi::interop
