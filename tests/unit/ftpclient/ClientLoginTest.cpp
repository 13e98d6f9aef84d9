#include <gtest/gtest.h>
#include <sys/socket.h>

#include <functional>
#include <set>

#include "ClientTestSupport.h"
#include "ftp/services/TlsOptions.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

uint16_t PortWithNobodyListening() {
    sapi::ftpclient::SocketAddress loopback = sapi::ftpclient::Resolve("127.0.0.1", 0).front();
    Socket listener;
    sapi::ftpclient::SocketAddress bound;
    sapi::ftpclient::ListenOn(loopback, listener, bound);
    return bound.Port();  // closed again when `listener` goes
}

void SAPI_WINAPI IgnoreStatus(InternetHandle, uintptr_t, uint32_t, void *, uint32_t) {}

TEST(ClientLogin, LogsInOnceAndKeepsTypeImageForTheSession) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        // No second TYPE, FEAT or OPTS: the next thing on the wire is the command.
        peer.AnswerSize("SIZE a.txt", "213 12");
        peer.AnswerSize("SIZE b.txt", "213 13");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_EQ(client.Response(), "230 Logged in");
    EXPECT_EQ(client.services.InternetSetStatusCallback(client.connect, IgnoreStatus), nullptr);
    EXPECT_EQ(client.services.InternetSetStatusCallback(client.connect, nullptr), &IgnoreStatus);
    EXPECT_TRUE(client.Command("SIZE a.txt"));
    EXPECT_TRUE(client.Command("SIZE b.txt"));
    EXPECT_EQ(client.Response(), "213 13");
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientLogin, RefusedLoginReportsTheServersReply) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.Reply("220 ready");
        peer.Expect("USER test");
        peer.Reply("331 Password required for test");
        peer.Expect("PASS secret");
        peer.Reply("530 Login incorrect.");
    });
    Client client;
    EXPECT_FALSE(client.Connect(server.Port()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_INCORRECT_PASSWORD);
    EXPECT_EQ(client.Response(), "530 Login incorrect.");
    EXPECT_EQ(server.Finish(), "");
}

// A server left in ASCII mode would change the bytes of every file moved.
TEST(ClientLogin, RefusedBinaryTypeFailsTheLogin) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.Reply("220 ready");
        peer.Expect("USER test");
        peer.Reply("331 Password required for test");
        peer.Expect("PASS secret");
        peer.Reply("230 Logged in");
        for (const char *line : {"FEAT", "TYPE I", "PWD"}) peer.Expect(line);
        peer.Send("502 No FEAT here\r\n504 Only ASCII here\r\n257 \"/\" is the current directory\r\n");
    });
    Client client;
    EXPECT_FALSE(client.Connect(server.Port()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client.Response(), "the server refused TYPE I: 504 Only ASCII here");
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientLogin, GreetingThatTurnsUsAwayIsARefusalWithText) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.Reply("421 5 users (the maximum) are already logged in, sorry");
    });
    Client client;
    EXPECT_FALSE(client.Connect(server.Port()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client.Response(), "the server turned the connection away: 421 5 users (the maximum) are already logged in, sorry");
    server.Finish();
}

// Asked for TLS, a session whose AUTH TLS, PBSZ or PROT P is refused ends at
// the refusal: nothing more goes out, in clear text or in TLS.
TEST(ClientLogin, RefusedSecurityStepEndsTheSession) {
    const auto greeted = [](ScriptPeer &peer) {
        peer.Reply("220 ready");
        peer.Expect("AUTH TLS");
    };
    const auto loggedInOverTls = [](ScriptPeer &peer) {
        peer.Reply("220 ready");
        peer.AcceptTls();
        peer.Expect("USER test");
        peer.Reply("331 Password required");
        peer.Expect("PASS secret");
        peer.Reply("230 Logged in");
        peer.Expect("PBSZ 0");
    };
    const struct {
        const char *refusal;
        std::function<void(ScriptPeer &)> script;  // up to the command refused
    } rows[] = {
        {"500 This security scheme is not implemented", greeted},
        {"534 Local policy does not allow TLS", greeted},
        {"503 PBSZ not allowed", loggedInOverTls},
        {"536 PROT P not supported",
         [&](ScriptPeer &peer) {
             loggedInOverTls(peer);
             peer.Reply("200 PBSZ=0");
             peer.Expect("PROT P");
         }},
    };
    const uint32_t explicitTls = 1;
    const sapi::WideString pin = Wide(ScriptPeer::TlsFingerprint());
    for (const auto &row : rows) {
        SCOPED_TRACE(row.refusal);
        ShortTimeouts shortTimeouts;  // a client that went on would wait for answers
        ScriptedFtpServer server([&row](ScriptPeer &peer) {
            row.script(peer);
            peer.Reply(row.refusal);
            // What went in one flight with the refused command may follow;
            // nothing after it.
            const std::set<std::string> flight = {"PROT P", "FEAT", "TYPE I", "PWD", "EPSV"};
            for (std::string next = peer.Receive(); !next.empty(); next = peer.Receive()) {
                if (!flight.contains(next) && peer.failure.empty()) peer.failure = "went on with " + next;
            }
        });
        Client client;
        ASSERT_TRUE(client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_TLS_MODE, &explicitTls, 4));
        ASSERT_TRUE(client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_TLS_FINGERPRINT, pin.c_str(),
                                                      static_cast<uint32_t>(pin.size())));
        EXPECT_FALSE(client.Connect(server.Port()));
        EXPECT_TRUE(client.Response().ends_with(row.refusal)) << client.Response();
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(ClientLogin, StalledGreetingEndsInATimeout) {
    ShortTimeouts shortTimeouts;
    ScriptedFtpServer server([](ScriptPeer &peer) { peer.Receive(); });  // says nothing, waits for the close
    Client client;
    EXPECT_FALSE(client.Connect(server.Port()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_TIMEOUT);
    server.Finish();
}

TEST(ClientLogin, ConnectThatIsNeverAnsweredEndsInATimeout) {
    // A listener whose accept queue is full drops further SYNs: the connect
    // hangs as it would towards a host that has gone away.
    ShortTimeouts shortTimeouts;
    const sapi::ftpclient::SocketAddress loopback = sapi::ftpclient::Resolve("127.0.0.1", 0).front();
    Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sapi::ftpclient::SocketAddress bound = loopback;
    ASSERT_EQ(::bind(listener.Fd(), reinterpret_cast<const sockaddr *>(&bound.storage), bound.length), 0);
    ASSERT_EQ(::listen(listener.Fd(), 0), 0);
    ASSERT_TRUE(sapi::ftpclient::LocalAddress(listener, bound));
    Socket queued[2];
    for (Socket &socket : queued) {
        sapi::ftpclient::ConnectSocket(bound, sapi::ftpclient::Milliseconds{200}, socket);
    }
    Client client;
    EXPECT_FALSE(client.Connect(bound.Port()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_TIMEOUT);
}

TEST(ClientLogin, ConnectAndNameFailuresHaveTheirOwnCodes) {
    Client client;
    EXPECT_FALSE(client.Connect(PortWithNobodyListening()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);
    EXPECT_FALSE(client.Connect(21, true, "no-such-host.invalid"));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
}

TEST(ClientLogin, LineBreaksInCredentialsAreRefusedBeforeConnecting) {
    Client client;
    // Port 1: were anything sent, the failure would be a connect failure instead.
    const InternetHandle connect =
        client.services.InternetConnect(client.root, Wide("127.0.0.1").c_str(), 1, Wide("test\r\nDELE x").c_str(),
                                        Wide("secret").c_str(), INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    EXPECT_EQ(connect, nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
