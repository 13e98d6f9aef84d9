// A server that stops answering in the middle of a call (frozen, mute, or
// sending only strays) ends that call at its one deadline, not after a wait per step, and leaves a
// connection whose next call fails at once instead of waiting again.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "ClientTestSupport.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits, sending nothing and reading nothing, until the client goes away.
void FallSilent(ScriptPeer &peer) { std::this_thread::sleep_for(std::chrono::milliseconds(1500)); (void)peer; }

// Instead of the marker's answer, "211 noise" every 0.8 of the 300 ms wait:
// replies that keep coming must not stretch the wait.
void TrickleStrays(ScriptPeer &peer) {
    for (int i = 0; i < 10 && peer.failure.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(240));
        peer.Reply("211 noise");
    }
}

// A retrieval under way: its first 1000 bytes sent, the rest still to come.
void StartRetrieval(ScriptPeer &peer) {
    peer.Expect("SIZE");
    peer.Reply("213 100000");
    peer.AnswerPassive();
    peer.Expect("RETR");
    peer.Reply("150 Opening");
    peer.AcceptData();
    peer.SendData(std::string(1000, 'd'));
}

struct Phase {
    const char *name;
    std::function<void(ScriptPeer &)> server;
    std::function<bool(Client &)> call;  // true when the call succeeded
};

bool ReadEverything(Client &client, InternetHandle file) {
    std::string data;
    const bool read = client.ReadAll(file, data);
    client.services.InternetCloseHandle(file);
    return read;
}

bool WriteUntilFailure(Client &client, InternetHandle file) {
    const std::string block(1 << 20, 'u');
    for (int i = 0; i < 64; ++i) {
        uint32_t sent = 0;
        if (!client.services.InternetWriteFile(file, block.data(), static_cast<uint32_t>(block.size()), &sent)) {
            client.services.InternetCloseHandle(file);
            return false;
        }
    }
    return client.services.InternetCloseHandle(file);
}

TEST(Deadline, AServerThatFallsSilentEndsTheCallOnceAndTheNextAtOnce) {
    const Phase phases[] = {
        {"folder change",
         [](ScriptPeer &peer) {
             peer.Expect("CWD");
             FallSilent(peer);
         },
         [](Client &client) { return client.services.FtpSetCurrentDirectory(client.connect, Wide("sub").c_str()); }},
        {"listing",
         [](ScriptPeer &peer) {
             peer.AnswerPassive();
             peer.Expect("MLSD");
             peer.Reply("150 Here it comes");
             peer.AcceptData();
             peer.SendData("type=file;size=1; a\r\n");
             FallSilent(peer);
         },
         [](Client &client) {
             sapi::FtpFindData data;
             const InternetHandle find = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
             if (find) client.services.InternetCloseHandle(find);
             return find != nullptr;
         }},
        {"download",
         [](ScriptPeer &peer) {
             StartRetrieval(peer);
             FallSilent(peer);
         },
         [](Client &client) {
             const InternetHandle file = client.Open("d.bin", true);
             return file != nullptr && ReadEverything(client, file);
         }},
        {"upload",
         [](ScriptPeer &peer) {
             peer.AnswerPassive();
             peer.Expect("STOR");
             peer.Reply("150 Opening");
             peer.AcceptData();
             FallSilent(peer);  // reads nothing: the socket buffers fill
         },
         [](Client &client) {
             const InternetHandle file = client.Open("u.bin", false);
             return file != nullptr && WriteUntilFailure(client, file);
         }},
        {"marker after an early close, answered only by strays",
         [](ScriptPeer &peer) {
             StartRetrieval(peer);
             peer.Expect("ABOR");
             peer.Expect("SYST");
             TrickleStrays(peer);
         },
         [](Client &client) {
             const InternetHandle file = client.Open("d.bin", true);
             char head[32];
             uint32_t got = 0;
             if (file == nullptr || !client.services.InternetReadFile(file, head, sizeof head, &got)) return true;
             client.services.InternetCloseHandle(file);
             return client.Command("PWD");
         }},
    };
    for (const Phase &phase : phases) {
        SCOPED_TRACE(phase.name);
        ShortTimeouts shortTimeouts;  // 300 ms a wait
        ScriptedFtpServer server([&phase](ScriptPeer &peer) {
            peer.LogIn();
            phase.server(peer);
        });
        Client client;
        ASSERT_TRUE(client.Connect(server.Port()));
        const auto start = Clock::now();
        EXPECT_FALSE(phase.call(client));
        // One deadline for the stalled wait, no second wait for a reply or a
        // resynchronisation: well under two waits' worth.
        EXPECT_LT(SecondsSince(start), 0.55);
        const auto next = Clock::now();
        EXPECT_FALSE(client.Command("NOOP"));
        EXPECT_EQ(client.services.GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED);
        EXPECT_LT(SecondsSince(next), 0.1);
        client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
    }
}

}  // namespace
