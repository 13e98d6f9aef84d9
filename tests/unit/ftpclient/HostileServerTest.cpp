// A server that keeps a small tree (/ with small.txt and keep.txt, /sub with
// keep.txt) and misbehaves on purpose: stray replies before its answers,
// every answer twice, and each of the ways servers answer an ABOR after a
// retrieval already ended. For every shape the host's road (an asset probe
// ending in ABOR, enter sub, ask where we are, delete keep.txt, download)
// must report what the server did, and never act in a folder the client does
// not believe it is in.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ClientTestSupport.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

enum class AbortShape { Pair426And226, Alone225, Alone226, Nothing, Only426, HeldUntilNextCommand };

struct Shape {
    const char *name;
    AbortShape abort;
    bool strays;      // "214" and "150" lines before every answer that cannot take them
    bool duplicates;  // every answer sent twice in one write
};

// What the server did, for the test to hold the client's reports against.
struct ServerLog {
    std::string folder = "/";
    std::set<std::string> files{"/small.txt", "/keep.txt", "/sub/keep.txt"};
    std::vector<std::string> deletedIn;  // the server's folder at each DELE that deleted
};

std::string Content(const std::string &path) { return "content of " + path + std::string(100, '.'); }

class HostileScript {
public:
    HostileScript(const Shape &shape, ServerLog &log) : shape_(shape), log_(log) {}

    void Run(ScriptPeer &peer) {
        peer.Reply("220 hostile server ready");
        for (std::string line = peer.Receive(); !line.empty() && line != "QUIT"; line = peer.Receive()) {
            if (!held_.empty()) peer.Send(std::exchange(held_, ""));
            Handle(peer, line);
        }
    }

private:
    void Answer(ScriptPeer &peer, const std::string &reply, bool mayStray = true) {
        std::string text;
        if (shape_.strays && mayStray) text += "214 stray help text\r\n";
        text += reply + "\r\n";
        if (shape_.duplicates) text += reply + "\r\n";
        peer.Send(text);
    }

    std::string PathOf(const std::string &name) const {
        if (!name.empty() && name[0] == '/') return name;
        return (log_.folder == "/" ? "/" : log_.folder + "/") + name;
    }

    void Handle(ScriptPeer &peer, const std::string &line) {
        const std::string verb = line.substr(0, line.find(' '));
        const std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        if (verb == "USER") return Answer(peer, "331 Password required");
        if (verb == "PASS") return Answer(peer, "230 Logged in");
        if (verb == "FEAT") return Answer(peer, "211 No features");
        if (verb == "TYPE") return Answer(peer, "200 Type set to I");
        if (verb == "SYST") return Answer(peer, "215 UNIX Type: L8");
        if (verb == "PWD") return Answer(peer, "257 \"" + log_.folder + "\" is the current directory");
        if (verb == "CWD") return ChangeFolder(peer, argument);
        if (verb == "DELE") return Delete(peer, argument);
        if (verb == "SIZE") return Size(peer, argument);
        if (verb == "EPSV") return Passive(peer);
        if (verb == "RETR") return Retrieve(peer, argument);
        if (verb == "ABOR") return Abort(peer);
        Answer(peer, "502 Not implemented");
    }

    void ChangeFolder(ScriptPeer &peer, const std::string &argument) {
        const std::string path = PathOf(argument);
        if (path != "/sub" && path != "/") return Answer(peer, "550 No such folder");
        log_.folder = path;
        Answer(peer, "250 Folder changed to " + path);
    }

    void Delete(ScriptPeer &peer, const std::string &argument) {
        if (log_.files.erase(PathOf(argument)) == 0) return Answer(peer, "550 No such file");
        log_.deletedIn.push_back(log_.folder);
        Answer(peer, "250 Deleted");
    }

    void Size(ScriptPeer &peer, const std::string &argument) {
        const std::string path = PathOf(argument);
        if (log_.files.count(path) == 0) return Answer(peer, "550 No such file");
        Answer(peer, "213 " + std::to_string(Content(path).size()));
    }

    void Passive(ScriptPeer &peer) {
        sapi::ftpclient::SocketAddress bound;
        sapi::ftpclient::ListenOn(sapi::ftpclient::Resolve("127.0.0.1", 0).front(), peer.dataListener, bound);
        Answer(peer, "229 Entering Extended Passive Mode (|||" + std::to_string(bound.Port()) + "|)");
    }

    // The whole file goes out and the transfer ends before any ABOR can come.
    void Retrieve(ScriptPeer &peer, const std::string &argument) {
        const std::string path = PathOf(argument);
        if (log_.files.count(path) == 0) return Answer(peer, "550 No such file");
        Answer(peer, "150 Opening data connection", false);
        peer.AcceptData();
        peer.SendData(Content(path));
        peer.CloseData();
        Answer(peer, "226 Transfer complete", false);
    }

    void Abort(ScriptPeer &peer) {
        switch (shape_.abort) {
        case AbortShape::Pair426And226: return peer.Send("426 Connection closed; transfer aborted\r\n226 ABOR ok\r\n");
        case AbortShape::Alone225: return peer.Send("225 No transfer to abort\r\n");
        case AbortShape::Alone226: return peer.Send("226 ABOR command successful\r\n");
        case AbortShape::Nothing: return;
        case AbortShape::Only426: return peer.Send("426 Transfer aborted\r\n");
        case AbortShape::HeldUntilNextCommand: held_ = "426 Transfer aborted\r\n226 Abort successful\r\n"; return;
        }
    }

    const Shape &shape_;
    ServerLog &log_;
    std::string held_;
};

std::string CurrentFolder(Client &client) {
    sapi::WideChar buffer[260] = {};
    uint32_t length = 260;
    if (!client.services.FtpGetCurrentDirectory(client.connect, buffer, &length)) return "<failed>";
    return Narrow(buffer);
}

TEST(HostileServer, EveryShapeReportsWhatTheServerDidAndActsOnlyWhereTheClientBelieves) {
    const Shape shapes[] = {
        {"426 then 226", AbortShape::Pair426And226, false, false},
        {"225 alone", AbortShape::Alone225, false, false},
        {"226 alone", AbortShape::Alone226, false, false},
        {"nothing", AbortShape::Nothing, false, false},
        {"426 only", AbortShape::Only426, false, false},
        {"held until the next command", AbortShape::HeldUntilNextCommand, false, false},
        {"426 then 226, strays", AbortShape::Pair426And226, true, false},
        {"held, strays and duplicates", AbortShape::HeldUntilNextCommand, true, true},
        {"nothing, duplicates", AbortShape::Nothing, false, true},
        {"225 alone, strays and duplicates", AbortShape::Alone225, true, true},
    };
    for (const Shape &shape : shapes) {
        SCOPED_TRACE(shape.name);
        ServerLog log;
        HostileScript script(shape, log);
        ScriptedFtpServer server([&script](ScriptPeer &peer) { script.Run(peer); });
        Client client;
        ASSERT_TRUE(client.Connect(server.Port()));
        std::string believed = "/";

        // The asset probe: a retrieval opened, 32 bytes read, closed, then ABOR.
        if (const InternetHandle file = client.Open("small.txt", true)) {
            char head[32];
            uint32_t got = 0;
            client.services.InternetReadFile(file, head, sizeof head, &got);
            client.services.InternetCloseHandle(file);
        }
        client.Command("ABOR");

        if (client.services.FtpSetCurrentDirectory(client.connect, Wide("sub").c_str())) believed = "/sub";
        EXPECT_EQ(log.folder, believed) << "the folder change was reported wrongly";

        const std::string reported = CurrentFolder(client);
        if (reported != "<failed>") {
            EXPECT_EQ(reported, log.folder);
        }

        const bool deleted = client.services.FtpDeleteFile(client.connect, Wide("keep.txt").c_str());
        EXPECT_EQ(deleted, !log.deletedIn.empty()) << "the delete was reported wrongly";
        for (const std::string &folder : log.deletedIn) EXPECT_EQ(folder, believed);

        if (const InternetHandle file = client.Open("/small.txt", true)) {
            std::string data;
            if (client.ReadAll(file, data)) {
                EXPECT_EQ(data, Content("/small.txt"));
            }
            client.services.InternetCloseHandle(file);
        }
        // Here the server is well-behaved enough that nothing need fail.
        EXPECT_EQ(believed, "/sub");
        EXPECT_TRUE(deleted);
        client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
    }
}

}  // namespace
