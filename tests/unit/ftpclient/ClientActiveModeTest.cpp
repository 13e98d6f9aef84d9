#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "ClientTestSupport.h"

using namespace ftpclienttest;

namespace {

// A connection to 127.0.0.1:port made from `source` (any 127/8 address is
// this host's loopback on Linux).
Socket ConnectFrom(const char *source, uint16_t port) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket.Fd(), reinterpret_cast<sockaddr *>(&from), sizeof from) != 0 ||
        ::connect(socket.Fd(), reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        socket.Close();
    }
    return socket;
}

uint16_t PortOfPortCommand(const std::string &line) {  // "PORT 127,0,0,1,p1,p2"
    const std::size_t last = line.rfind(',');
    const std::size_t before = line.rfind(',', last - 1);
    return static_cast<uint16_t>(std::stoi(line.substr(before + 1, last - before - 1)) * 256 +
                                 std::stoi(line.substr(last + 1)));
}

void SendAndClose(Socket socket, const std::string &bytes) {
    sapi::ftpclient::SendAll(socket, bytes.data(), bytes.size(), sapi::ftpclient::Milliseconds{2000});
}

TEST(ClientActiveMode, FallsBackToPortAndTakesDataOnlyFromTheServersHost) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("EPRT |1|127.0.0.1|");
        peer.Reply("500 'EPRT': command not understood");
        const uint16_t port = PortOfPortCommand(peer.Expect("PORT 127,0,0,1,"));
        peer.Reply("200 PORT command successful");
        peer.Expect("MLSD");
        peer.Reply("150 Opening ASCII mode data connection for MLSD");
        SendAndClose(ConnectFrom("127.0.0.2", port), "type=file;size=1; intruder\r\n");
        SendAndClose(ConnectFrom("127.0.0.1", port), "type=file;size=1; real\r\n");
        peer.Reply("226 Transfer complete");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port(), false));
    sapi::FtpFindData data;
    const InternetHandle find = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(Narrow(data.fileName), "real");
    EXPECT_FALSE(client.services.InternetFindNextFile(find, &data));
    client.services.InternetCloseHandle(find);
    EXPECT_EQ(server.Finish(), "");
}

}  // namespace
