#include <gtest/gtest.h>

#include "ClientTestSupport.h"
#include "MemoryStreams.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

// Answers the SIZE asked before a retrieval, then the passive set-up and RETR.
void StartRetrieval(ScriptPeer &peer, const std::string &sizeReply, const std::string &preliminary) {
    peer.Expect("SIZE ");
    peer.Reply(sizeReply);
    peer.AnswerPassive();
    peer.Expect("RETR ");
    peer.Reply(preliminary);
    peer.AcceptData();
}

void AnswerFolder(ScriptPeer &peer) {
    peer.Expect("PWD");
    peer.Reply("257 \"/\" is the current directory");
}

void SendIgnoringErrors(ScriptPeer &peer, const std::string &bytes) {
    sapi::ftpclient::SendAll(peer.data, bytes.data(), bytes.size(), sapi::ftpclient::Milliseconds{2000});
}

TEST(ClientRetrieval, EndsWithZeroBytesOnlyOnceTheServerConfirmed) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 12", "150 File status okay. About to open data connection.");
        peer.SendData("line1\nline2\n");
        peer.CloseData();
        peer.Reply("226 Transfer complete.");
        peer.Expect("NOOP");
        peer.Reply("200 NOOP ok.");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("a.txt", true);
    ASSERT_NE(file, nullptr);
    uint32_t high = 7;
    EXPECT_EQ(client.services.FtpGetFileSize(file, &high), 12u);
    EXPECT_EQ(high, 0u);
    std::string data;
    EXPECT_TRUE(client.ReadAll(file, data));
    EXPECT_EQ(data, "line1\nline2\n");
    EXPECT_EQ(client.Response(), "226 Transfer complete.");
    uint32_t got = 1;
    char byte;
    EXPECT_TRUE(client.services.InternetReadFile(file, &byte, 1, &got));  // stays at the end
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientRetrieval, DataCutShortOrRefusedAtTheEndFailsTheRead) {
    struct Case {
        std::string preliminary, data, final, response;
        uint32_t error;
    };
    const Case cases[] = {
        {"150 Opening", "line1", "426 Transfer aborted. Data connection closed",
         "426 Transfer aborted. Data connection closed", ERROR_INTERNET_EXTENDED_ERROR},
        {"150 Opening", "line1\nline2\n", "451 Local error in processing", "451 Local error in processing",
         ERROR_INTERNET_EXTENDED_ERROR},
        // The server announced 12 bytes, sent 5 and still claims success.
        {"150 Opening BINARY mode data connection for a.txt (12 bytes)", "line1", "226 Transfer complete",
         "226 Transfer complete", ERROR_INTERNET_CONNECTION_ABORTED},
    };
    for (const Case &c : cases) {
        ScriptedFtpServer server([&c](ScriptPeer &peer) {
            peer.LogIn();
            StartRetrieval(peer, "550 no size", c.preliminary);
            peer.SendData(c.data);
            peer.CloseData();
            peer.Reply(c.final);
            peer.Expect("NOOP");  // in step: the next command gets its own reply
            peer.Reply("200 NOOP ok.");
        });
        Client client;
        ASSERT_TRUE(client.Connect(server.Port()));
        const InternetHandle file = client.Open("a.txt", true);
        ASSERT_NE(file, nullptr);
        std::string data;
        EXPECT_FALSE(client.ReadAll(file, data)) << c.final;
        EXPECT_EQ(client.services.GetLastError(), c.error) << c.final;
        EXPECT_EQ(client.Response(), c.response);
        uint32_t got = 0;
        char byte;
        EXPECT_FALSE(client.services.InternetReadFile(file, &byte, 1, &got));  // the failure stays
        EXPECT_TRUE(client.services.InternetCloseHandle(file));
        EXPECT_TRUE(client.Command("NOOP"));
        EXPECT_EQ(client.Response(), "200 NOOP ok.");
        EXPECT_EQ(server.Finish(), "");
    }
}

TEST(ClientRetrieval, StalledDataEndsInATimeout) {
    ShortTimeouts shortTimeouts;
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 12", "150 Opening");
        peer.Receive();  // sends nothing until the client gives up
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("a.txt", true);
    ASSERT_NE(file, nullptr);
    std::string data;
    EXPECT_FALSE(client.ReadAll(file, data));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    client.services.InternetCloseHandle(client.connect);
    client.connect = nullptr;
    server.Finish();
}

TEST(ClientRetrieval, SizeBeyondFourGibibytesFromSizeOrFromThePreliminaryReply) {
    struct Case {
        std::string sizeReply, preliminary;
        uint32_t low, high;
    };
    const Case cases[] = {
        {"213 5000000000", "150 Opening", 705032704u, 1u},
        {"550 SIZE not allowed", "150 Opening BINARY mode data connection for big (6000000000 bytes)", 1705032704u,
         1u},
        {"550 SIZE not allowed", "150 Accepted data connection", INVALID_FILE_SIZE, 9u},
    };
    for (const Case &c : cases) {
        ScriptedFtpServer server([&c](ScriptPeer &peer) {
            peer.LogIn();
            StartRetrieval(peer, c.sizeReply, c.preliminary);
            peer.Receive();  // the client closes without reading
        });
        Client client;
        ASSERT_TRUE(client.Connect(server.Port()));
        const InternetHandle file = client.Open("big", true);
        ASSERT_NE(file, nullptr);
        uint32_t high = 9;
        EXPECT_EQ(client.services.FtpGetFileSize(file, &high), c.low) << c.preliminary;
        EXPECT_EQ(high, c.high);
        client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
    }
}

TEST(ClientRetrieval, EarlyCloseAnsweredOnlyWithAPreliminaryLineIsPutBackInStep) {
    // pure-ftpd: after the client closes a retrieval's data connection early,
    // the only reply is "150 0.005 seconds (measured here), ..." and no 4xx/2xx.
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 1048576", "150 Accepted data connection");
        SendIgnoringErrors(peer, std::string(65536, 'x'));
        peer.Reply("150 0.005 seconds (measured here), 482.26 Mbytes per second");
        peer.Expect("ABOR");
        peer.Reply("226 Since you see this ABOR must've succeeded");
        peer.AnswerMarker();
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("big.bin", true);
    ASSERT_NE(file, nullptr);
    char buffer[32];
    uint32_t got = 0;
    EXPECT_TRUE(client.services.InternetReadFile(file, buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 32u);
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    EXPECT_TRUE(client.Command("ABOR"));
    EXPECT_EQ(client.Response(), "226 Since you see this ABOR must've succeeded");
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientRetrieval, EarlyCloseIsAbortedBeforeTheNextCommandEvenWithoutTheCallersAbor) {
    // pure-ftpd before it notices the closed data connection: anything but
    // ABOR is "500 Unknown command", both markers included.
    ShortTimeouts shortTimeouts;
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 1048576", "150 Accepted data connection");
        SendIgnoringErrors(peer, std::string(65536, 'x'));
        for (std::string line = peer.Receive(); line != "ABOR"; line = peer.Receive()) {
            if (line.empty()) return;
            peer.Reply("500 Unknown command");
        }
        peer.Send("426 ABORT\r\n226 Since you see this ABOR must've succeeded\r\n");
        peer.AnswerMarker();
        AnswerFolder(peer);  // the caller's own PWD
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("big.bin", true);
    ASSERT_NE(file, nullptr);
    char buffer[32];
    uint32_t got = 0;
    EXPECT_TRUE(client.services.InternetReadFile(file, buffer, sizeof buffer, &got));
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    EXPECT_TRUE(client.Command("PWD"));
    EXPECT_EQ(client.Response(), "257 \"/\" is the current directory");
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientRetrieval, EarlyCloseWhoseRepliesComeOnlyWithTheNextCommand) {
    // proftpd after an ABOR during a transfer: nothing until the next command,
    // then the transfer's and the abort's replies together with the new one.
    ShortTimeouts shortTimeouts;
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 1048576", "150 Opening BINARY mode data connection");
        SendIgnoringErrors(peer, std::string(65536, 'x'));
        peer.Expect("ABOR");
        peer.Expect("SYST");
        peer.Send("226 Transfer complete\r\n226 Abort successful\r\n215 UNIX Type: L8\r\n");
        peer.Expect("NOOP");
        peer.Reply("200 NOOP command successful");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("big.bin", true);
    ASSERT_NE(file, nullptr);
    char buffer[32];
    uint32_t got = 0;
    EXPECT_TRUE(client.services.InternetReadFile(file, buffer, sizeof buffer, &got));
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    EXPECT_TRUE(client.Command("ABOR"));
    EXPECT_EQ(client.Response(), "226 Transfer complete");  // the first that can answer an ABOR
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_EQ(client.Response(), "200 NOOP command successful");
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientRetrieval, AborThatDropsTheMarkerSentWithItIsFollowedByASecondMarker) {
    // pure-ftpd when the ABOR finds its transfer still running: "426 ABORT"
    // and "226", and whatever came with the ABOR in the same read is gone.
    ShortTimeouts shortTimeouts;
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        StartRetrieval(peer, "213 1048576", "150 Accepted data connection");
        SendIgnoringErrors(peer, std::string(65536, 'x'));
        peer.Expect("ABOR");
        peer.Expect("SYST");
        peer.Send("426 ABORT\r\n226 Transfer aborted\r\n");
        AnswerFolder(peer);
        peer.Expect("NOOP");
        peer.Reply("200 Zzz...");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("big.bin", true);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(client.services.InternetCloseHandle(file));
    EXPECT_TRUE(client.Command("ABOR"));
    EXPECT_EQ(client.Response(), "226 Transfer aborted");
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientStore, CloseReportsWhetherTheServerConfirmed) {
    for (const std::string final : {"226 Transfer complete.", "452 Insufficient storage space"}) {
        std::string stored;
        ScriptedFtpServer server([&](ScriptPeer &peer) {
            peer.LogIn();
            peer.AnswerPassive();
            peer.Expect("STOR up.txt");
            peer.Reply("150 Ok to send data.");
            peer.AcceptData();
            stored = peer.ReceiveAllData();
            peer.Reply(final);
        });
        Client client;
        ASSERT_TRUE(client.Connect(server.Port()));
        const InternetHandle file = client.Open("up.txt", false);
        ASSERT_NE(file, nullptr);
        uint32_t written = 0;
        EXPECT_TRUE(client.services.InternetWriteFile(file, "hello\n", 6, &written));
        EXPECT_EQ(written, 6u);
        const bool confirmed = client.services.InternetCloseHandle(file);
        EXPECT_EQ(confirmed, final[0] == '2');
        if (!confirmed) {
            EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
        }
        EXPECT_EQ(client.Response(), final);
        EXPECT_EQ(server.Finish(), "");
        EXPECT_EQ(stored, "hello\n");
    }
}

TEST(ClientDataConnection, PassiveAddressOfTheServerIsIgnored) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        for (int listing = 0; listing < 2; ++listing) {
            if (listing == 0) {
                peer.Expect("EPSV");
                peer.Reply("500 Unknown command.");
            }
            peer.Expect("PASV");
            sapi::ftpclient::SocketAddress bound;
            sapi::ftpclient::ListenOn(sapi::ftpclient::Resolve("127.0.0.1", 0).front(), peer.dataListener, bound);
            // Aims at another host; a client that followed it would never connect here.
            peer.Reply("227 Entering Passive Mode (10,255,255,1," + std::to_string(bound.Port() / 256) + "," +
                       std::to_string(bound.Port() % 256) + ")");
            peer.Expect("MLSD");
            peer.Reply("150 Opening ASCII mode data connection for MLSD");
            peer.AcceptData();
            peer.SendData("type=file;size=3; x.txt\r\n");
            peer.CloseData();
            peer.Reply("226 Transfer complete");
        }
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    for (int listing = 0; listing < 2; ++listing) {  // the second goes straight to PASV
        sapi::FtpFindData data;
        const InternetHandle find = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0x84000000, 1);
        ASSERT_NE(find, nullptr);
        EXPECT_EQ(Narrow(data.fileName), "x.txt");
        client.services.InternetCloseHandle(find);
    }
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientControlConnection, OverLongReplyLineDropsTheSession) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("NOOP");
        peer.Send("200 " + std::string(100000, 'x'));
        peer.Receive();
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_FALSE(client.Command("NOOP"));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
    EXPECT_FALSE(client.Command("NOOP"));  // nothing more goes to such a server
    EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
    server.Finish();
}

}  // namespace

namespace {

TEST(ClientControlConnection, AReplyNobodyAskedForDoesNotAnswerTheNextCommand) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("NOOP");
        peer.Send("200 NOOP ok.\r\n226 Transfer complete.\r\n");  // the second is stray
        peer.Expect("DELE precious.txt");
        peer.Reply("550 Permission denied.");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_FALSE(client.services.FtpDeleteFile(client.connect, Wide("precious.txt").c_str()));
    EXPECT_EQ(client.Response(), "550 Permission denied.");
    EXPECT_EQ(server.Finish(), "");
}

}  // namespace

namespace {

// The whole road of a session (login, listing, retrieval, store) with its
// streams in memory: no socket, no thread, no wait.
TEST(ClientSession, RunsOverStreamsInMemory) {
    using sapi::ftpclient::FtpSession;
    using sapi::ftpclient::SessionError;
    MemoryStreams streams;
    streams.answer = [](const std::string &line) -> std::string {
        const std::string verb = line.substr(0, line.find(' '));
        if (verb == "USER") return "331 Password required\r\n";
        if (verb == "PASS") return "230 Logged in\r\n";
        if (verb == "FEAT") return "211-Features:\r\n MLST type*;size*;\r\n SIZE\r\n EPSV\r\n211 End\r\n";
        if (verb == "PWD") return "257 \"/\" is the current directory\r\n";
        if (verb == "EPSV") return "229 Entering Extended Passive Mode (|||4242|)\r\n";
        if (verb == "SIZE") return "213 5\r\n";
        if (verb == "MLSD" || verb == "RETR" || verb == "STOR") return "150 Opening\r\n226 Done\r\n";
        return "200 OK\r\n";
    };
    streams.dataConnections = {"type=file;size=5; a.txt\r\ntype=dir; sub\r\n", "hello", ""};
    FtpSession session(true, {}, streams, sapi::ftpclient::CurrentTimeouts());
    ASSERT_EQ(session.Login("server", 21, "test", "secret"), SessionError::None);
    sapi::ftpclient::CompactListing entries;
    ASSERT_EQ(session.List("", entries), SessionError::None);
    EXPECT_EQ(entries.Count(), 2u);
    ASSERT_EQ(session.OpenTransfer("a.txt", true), SessionError::None);
    char buffer[16] = {};
    uint32_t got = 0;
    EXPECT_EQ(session.Read(buffer, sizeof buffer, got), SessionError::None);
    EXPECT_EQ(std::string(buffer, got), "hello");
    EXPECT_EQ(session.Read(buffer, sizeof buffer, got), SessionError::None);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(session.TransferConfirmed());
    EXPECT_EQ(session.CloseTransfer(), SessionError::None);
    ASSERT_EQ(session.OpenTransfer("b.txt", false), SessionError::None);
    uint32_t sent = 0;
    EXPECT_EQ(session.Write("bytes", 5, sent), SessionError::None);
    EXPECT_EQ(session.CloseTransfer(), SessionError::None);
    EXPECT_EQ(streams.stored, "bytes");
    // The set-up in one flight; a port asked only right before its data
    // connection (the retrieval's with its SIZE); each transfer command goes
    // out before its data connection is waited for.
    const std::vector<std::string> expected = {
        "USER test", "PASS secret", "FEAT", "TYPE I",     "PWD",        "EPSV",       "MLSD",
        "(data connected)",         "SIZE a.txt", "EPSV", "RETR a.txt", "(data connected)",
        "EPSV",      "STOR b.txt",  "(data connected)"};
    EXPECT_EQ(streams.commands, expected);
}

}  // namespace

