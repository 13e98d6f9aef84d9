// A server that keeps a small tree (/ with small.txt and keep.txt, /sub with
// keep.txt) and misbehaves on purpose: stray replies before the answer to a
// marker, every answer twice, and each of the ways servers answer an ABOR after a
// retrieval already ended. For every shape the host's road (an asset probe
// ending in ABOR, enter sub, ask where we are, delete keep.txt, download)
// must report what the server did, and never act in a folder the client does
// not believe it is in.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "ClientTestSupport.h"
#include "Transcript.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/sockets/RunningDigest.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

enum class AbortShape { Pair426And226, Alone225, Alone226, Nothing, Only426, HeldUntilNextCommand };

struct Shape {
    const char *name;
    AbortShape abort;
    bool strays;      // "214" lines before the marker's answer, while replies may still come
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
    void Answer(ScriptPeer &peer, const std::string &reply, bool mayStray = false) {
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
        if (verb == "SYST") return Answer(peer, "215 UNIX Type: L8", true);
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
        Answer(peer, peer.ListenForData());
    }

    // The whole file goes out and the transfer ends before any ABOR can come.
    void Retrieve(ScriptPeer &peer, const std::string &argument) {
        const std::string path = PathOf(argument);
        if (log_.files.count(path) == 0) return Answer(peer, "550 No such file");
        Answer(peer, "150 Opening data connection");
        peer.AcceptData();
        peer.SendData(Content(path));
        peer.CloseData();
        Answer(peer, "226 Transfer complete");
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

// Every transcript under transcripts/, each on a server of its own: the
// client sends what it says, as it says (flights as sets), the host is told
// what it says, and no wait runs to a deadline on the way.
TEST(HostileServer, TranscriptsPlayAsWritten) {
    std::vector<std::filesystem::path> files;
    for (const auto &entry : std::filesystem::directory_iterator(SAPI_TRANSCRIPTS)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    sapi::ftpclient::ClientTimeouts patient;
    patient.connect = patient.receive = patient.send = sapi::ftpclient::Milliseconds{2000};
    const auto saved = sapi::ftpclient::SetTimeoutsForTesting(patient);
    for (const std::filesystem::path &file : files) {
        const Transcript transcript = ReadTranscript(file);
        SCOPED_TRACE(transcript.name);
        ScriptedFtpServer server([&transcript](ScriptPeer &peer) { PlayServer(transcript, peer); });
        const auto start = std::chrono::steady_clock::now();
        {
            Client client;
            if (transcript.follow > 0) {
                client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_FOLLOW_GROWING, &transcript.follow,
                                                  sizeof transcript.follow);
            }
            ASSERT_TRUE(client.Connect(server.Port(), transcript.passive)) << client.Response();
            PlayHost(transcript, client);
        }
        EXPECT_EQ(server.Finish(), "");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3 + transcript.follow));
    }
    sapi::ftpclient::SetTimeoutsForTesting(saved);
}

// Replies the command does not take, and codes no command takes, from a
// server that is otherwise plain. In step the session has nothing else on its
// way, so such a reply is the answer, judged by its first digit, at once:
// never a wait for the deadline and a session given up.
enum class Call { Login, Folder, Enter, Size, Retrieve, List };
enum class Mode { Passive, Active, ExplicitTls };
enum class Left { Usable, Gone };

struct OddReply {
    const char *name;
    Call call;
    std::map<std::string, std::string> answers;  // verb -> what is sent instead (CR LF after each line)
    std::string later;                           // sent 200 ms after, on the control connection
    Mode mode;
    bool succeeds;
    Left left;
    std::string response = {};  // what the host is told after the call, where it matters
};

class PlainScript {
public:
    explicit PlainScript(const OddReply &row) : row_(row) {}

    void Run(ScriptPeer &peer) {
        peer.Reply("220 plain server ready");
        for (std::string line = peer.Receive(); !line.empty() && line != "QUIT"; line = peer.Receive()) {
            const std::string verb = line.substr(0, line.find(' '));
            received += verb + " ";
            const auto odd = row_.answers.find(verb);
            if (odd == row_.answers.end()) {
                Answer(peer, verb);
                continue;
            }
            peer.Send(odd->second);
            if (row_.later == "close") return peer.Reset();
            if (row_.later.empty()) continue;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            peer.Send(row_.later);
            if (row_.later.compare(0, 3, "421") == 0) return;
        }
    }

    std::string received;

private:
    void Answer(ScriptPeer &peer, const std::string &verb) {
        static const std::map<std::string, std::string> plain = {
            {"USER", "331 Password required"}, {"PASS", "230 Logged in"},  {"FEAT", "211 No features"},
            {"TYPE", "200 Type set to I"},     {"PWD", "257 \"/\" is cwd"}, {"CWD", "250 Changed"},
            {"SIZE", "213 100"},               {"NOOP", "200 NOOP ok"},     {"EPRT", "200 EPRT ok"},
        };
        if (verb == "EPSV") return peer.Reply(peer.ListenForData());
        if (verb == "LIST") return ServeUnreadableListing(peer);
        const auto found = plain.find(verb);
        peer.Reply(found == plain.end() ? "502 Not implemented" : found->second);
    }

    // Not one line an entry: the client asks NLST for the names.
    static void ServeUnreadableListing(ScriptPeer &peer) {
        peer.Reply("150 Opening data connection");
        peer.AcceptData();
        peer.SendData("%% a dialect no parser reads\r\n");
        peer.CloseData();
        peer.Reply("226 Transfer complete");
    }

    const OddReply &row_;
};

bool Perform(Client &client, Call call) {
    sapi::WideChar folder[260] = {};
    uint32_t length = 260;
    switch (call) {
    case Call::Login: return true;
    case Call::Folder: return client.services.FtpGetCurrentDirectory(client.connect, folder, &length);
    case Call::Enter: return client.services.FtpSetCurrentDirectory(client.connect, Wide("sub").c_str());
    case Call::Size: return client.Command("SIZE small.txt");
    case Call::Retrieve:
        if (const InternetHandle file = client.Open("small.txt", true)) {
            client.services.InternetCloseHandle(file);
            return true;
        }
        return false;
    case Call::List: {
        // An empty folder is a listing that succeeded.
        sapi::FtpFindData data;
        const InternetHandle find = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
        if (find != nullptr) client.services.InternetCloseHandle(find);
        return find != nullptr || client.services.GetLastError() == ERROR_NO_MORE_FILES;
    }
    }
    return false;
}

TEST(HostileServer, RepliesTheCommandDoesNotTakeAreJudgedAtOnceByTheirFirstDigit) {
    using namespace std::string_literals;
    const OddReply rows[] = {
        {"USER answered 314", Call::Login, {{"USER", "314 odd\r\n"}}, "", Mode::Passive, false, Left::Gone},
        {"PASS answered 633", Call::Login, {{"PASS", "633 odd\r\n"}}, "", Mode::Passive, false, Left::Gone},
        {"USER answered 200: no password needed", Call::Login, {{"USER", "200 Welcome\r\n"}}, "", Mode::Passive, true,
         Left::Usable},
        {"TYPE answered 314", Call::Login, {{"TYPE", "314 odd\r\n"}}, "", Mode::Passive, false, Left::Gone},
        {"TYPE answered 226", Call::Login, {{"TYPE", "226 odd but fine\r\n"}}, "", Mode::Passive, true, Left::Usable},
        {"PWD answered 314", Call::Folder, {{"PWD", "314 odd\r\n"}}, "", Mode::Passive, false, Left::Usable},
        {"CWD answered 314", Call::Enter, {{"CWD", "314 odd\r\n"}}, "", Mode::Passive, false, Left::Usable},
        {"SIZE answered 999", Call::Size, {{"SIZE", "999 What a strange reply code\r\n"}}, "", Mode::Passive, false,
         Left::Usable},
        {"EPSV and PASV answered 314", Call::Retrieve, {{"EPSV", "314 odd\r\n"}, {"PASV", "314 odd\r\n"}}, "",
         Mode::Passive, false, Left::Usable},
        {"RETR answered 314", Call::Retrieve, {{"RETR", "314 odd\r\n"}}, "", Mode::Passive, false, Left::Usable},
        {"active: 150, then 425 and no data connection", Call::Retrieve, {{"RETR", "150 Opening\r\n"}},
         "425 Can't open data connection\r\n", Mode::Active, false, Left::Usable},
        {"active: 150, then 421 and no data connection", Call::Retrieve, {{"RETR", "150 Opening\r\n"}},
         "421 Service not available\r\n", Mode::Active, false, Left::Gone},
        {"PWD with a CR inside the quotes", Call::Folder, {{"PWD", "257 \"/\r\"\r\n"}}, "", Mode::Passive, false,
         Left::Usable},
        {"PWD with a control byte inside the quotes", Call::Folder, {{"PWD", "257 \"/\x03\"\r\n"}}, "", Mode::Passive,
         false, Left::Usable},
        {"PWD with a NUL inside the quotes", Call::Folder, {{"PWD", "257 \"/sub\0evil\"\r\n"s}}, "", Mode::Passive, false,
         Left::Usable},
        // Pipelined flights (the set-up after the login, a retrieval's SIZE
        // with its passive port's command): a stray in the middle is
        // skipped, not taken as the answer (else the EPSV would get "213");
        // a close after the first answer leaves that answer standing and the
        // session gone.
        {"stray before TYPE's answer in its flight", Call::Folder, {{"TYPE", "226 Late\r\n200 Type set\r\n"}}, "",
         Mode::Passive, true, Left::Usable, "257 \"/\" is cwd"},
        {"stray before SIZE's answer in a retrieval's flight", Call::Retrieve,
         {{"SIZE", "226 Late\r\n213 100\r\n"}, {"RETR", "550 No such file\r\n"}}, "", Mode::Passive, false,
         Left::Usable, "550 No such file"},
        {"closed after TYPE's answer, before PWD's", Call::Login, {{"TYPE", "200 Type set\r\n"}}, "close",
         Mode::Passive, true, Left::Gone},
        {"closed after SIZE's answer", Call::Size, {{"SIZE", "213 100\r\n"}}, "close", Mode::Passive, true, Left::Gone,
         "213 100"},
        // The names asked after a listing no line of which was read: a
        // connection lost there fails the listing, never an empty folder.
        {"NLST answered 421 as the server closes", Call::List, {{"NLST", "421 Timeout.\r\n"}}, "close",
         Mode::Passive, false, Left::Gone},
        {"connection dropped at NLST", Call::List, {{"NLST", ""}}, "close", Mode::Passive, false, Left::Gone},
        {"NLST refused: the folder shows as empty", Call::List, {{"NLST", "550 No files found\r\n"}}, "",
         Mode::Passive, true, Left::Usable},
        // Clear text after "234" would be read as the first answers inside
        // TLS: a login without a password. Nothing goes out after it.
        {"clear text after 234", Call::Login, {{"AUTH", "234 go\r\n230 fake: "}}, "", Mode::ExplicitTls, false,
         Left::Gone},
    };
    sapi::ftpclient::ClientTimeouts patient;
    patient.connect = patient.receive = patient.send = sapi::ftpclient::Milliseconds{5000};
    const auto saved = sapi::ftpclient::SetTimeoutsForTesting(patient);
    for (const OddReply &row : rows) {
        SCOPED_TRACE(row.name);
        PlainScript script(row);
        ScriptedFtpServer server([&script](ScriptPeer &peer) { script.Run(peer); });
        Client client;
        const auto start = std::chrono::steady_clock::now();
        if (row.mode == Mode::ExplicitTls) {
            const uint32_t explicitTls = 1;
            client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_TLS_MODE, &explicitTls, sizeof explicitTls);
        }
        const bool loggedIn = client.Connect(server.Port(), row.mode != Mode::Active);
        if (row.mode == Mode::ExplicitTls) {
            EXPECT_EQ(client.Response(), "bytes arrived in clear text after 234, before the TLS handshake");
        }
        const bool done = loggedIn && Perform(client, row.call);
        if (!row.response.empty()) {
            EXPECT_EQ(client.Response(), row.response);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(done, row.succeeds);
        EXPECT_TRUE(loggedIn || row.call == Call::Login);
        EXPECT_EQ(loggedIn && client.Command("NOOP"), row.left == Left::Usable);
        const bool passwordSent = script.received.find("PASS") != std::string::npos;
        EXPECT_FALSE(row.answers.count("USER") && row.succeeds && passwordSent);
        if (client.connect) client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
    }
    sapi::ftpclient::SetTimeoutsForTesting(saved);
}

// A server that drops its client in the ways real ones do: an idle
// timeout's "421" after the client went into /sub, both connections closed
// halfway through a 1 MiB file, a data connection reset with "426", every
// session dropped halfway. With recovery on, the client opens the session
// again, goes back to /sub or fails, and resumes the file with REST only
// with proof that it is the same file; a call spends at most three logins.
enum class Drop { IdleAfterFolder, IdleAsTheAnswer, MidRetrieval, DataReset, EverySession, IdleThenSilent, DownAWhile };
enum class SecondLogin { Same, FileChanged, NewDate, ShortPiece, Refused, FolderGone };
enum class Mdtm { Offered, Absent, Refused };

struct RecoveryCase {
    const char *name;
    Drop drop;
    SecondLogin second;
    bool recover;
    bool succeeds;
    Mdtm mdtm = Mdtm::Offered;
};

std::string PseudoRandom(std::size_t size) {
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

const std::string wholeFile = PseudoRandom(1 << 20);

class RecoveryScript {
public:
    explicit RecoveryScript(const RecoveryCase &row) : row_(row) {}

    void Run(ScriptPeer &peer) {
        if (row_.drop == Drop::IdleThenSilent && peer.connection > 0) return;  // no greeting, ever
        peer.Reply("220 ready");
        for (std::string line = peer.Receive(); !line.empty() && line != "QUIT"; line = peer.Receive()) {
            seen += std::to_string(peer.connection) + ":" + line + "\n";
            if (!Handle(peer, line)) return;
        }
    }

    std::string seen;  // "connection:command" lines

private:
    bool Handle(ScriptPeer &peer, const std::string &line) {
        const bool again = peer.connection > 0;
        const std::string verb = line.substr(0, line.find(' '));
        if (verb == "USER") peer.Reply("331 Password required");
        if (verb == "PASS") peer.Reply(again && row_.second == SecondLogin::Refused ? "530 Login incorrect." : "230 In");
        if (verb == "FEAT") {
            peer.Send(std::string("211-Features:\r\n SIZE\r\n EPSV\r\n") + (row_.mdtm != Mdtm::Absent ? " MDTM\r\n" : "") +
                      "211 End\r\n");
        }
        if (verb == "NOOP" && row_.drop == Drop::DownAWhile && !again) {
            // Restarting: refused for 450 ms, between the client's second
            // login (300 ms after the first) and its third (600 ms later).
            peer.StopListening();
            peer.Reply("421 Shutting down.");
            peer.control.Close();
            std::this_thread::sleep_for(std::chrono::milliseconds(450));
            peer.ListenAgain();
            return false;
        }
        if (verb == "NOOP" && (row_.drop == Drop::IdleAsTheAnswer || row_.drop == Drop::IdleThenSilent) && !again) {
            peer.Reply("421 Timeout.");
            return false;
        }
        if (verb == "TYPE" || verb == "NOOP" || verb == "OPTS") peer.Reply("200 OK");
        if (verb == "SYST") peer.Reply("215 UNIX Type: L8");
        if (verb == "ABOR") peer.Reply("226 Nothing to abort");
        if (verb == "DELE") peer.Reply("250 Deleted");
        if (verb == "CWD") {
            const bool gone = again && row_.second == SecondLogin::FolderGone;
            entered_ = entered_ || !gone;
            peer.Reply(gone ? "550 /sub: No such file or directory" : "250 OK");
        }
        if (verb == "REST") {
            restartAt_ = std::stoul(line.substr(5));
            peer.Reply("350 Restarting at " + line.substr(5));
        }
        if (verb == "SIZE") {
            const bool changed = again && row_.second == SecondLogin::FileChanged;
            peer.Reply("213 " + std::to_string(wholeFile.size() + (changed ? 1 : 0)));
        }
        if (verb == "MDTM") {
            const bool changed = again && row_.second == SecondLogin::NewDate;
            peer.Reply(row_.mdtm == Mdtm::Refused ? "550 Not available" : changed ? "213 20261208101500" : "213 20261201090000");
        }
        if (verb == "EPSV") peer.Reply(peer.ListenForData());
        if (verb == "PWD") {
            peer.Reply("257 \"/sub\" is the current directory");
            if (row_.drop == Drop::IdleAfterFolder && !again && entered_) {
                // The port asked with the login stays open: a client that
                // took it for the new session's would wait on it for good.
                stalePort_ = std::move(peer.dataListener);
                peer.Reply("421 Timeout.");
                return false;
            }
        }
        if (verb == "RETR") return Retrieve(peer, again);
        return true;
    }

    bool Retrieve(ScriptPeer &peer, bool again) {
        const std::size_t from = restartAt_;
        peer.Reply("150 Opening BINARY mode data connection");
        peer.AcceptData();
        const std::size_t rest = wholeFile.size() - from;
        const bool cut = (row_.drop == Drop::MidRetrieval || row_.drop == Drop::DataReset) && pieces_++ == 0;
        const bool everyTime = row_.drop == Drop::EverySession;
        const bool shortPiece = again && row_.second == SecondLogin::ShortPiece;
        peer.SendData(wholeFile.substr(from, cut || everyTime ? rest / 2 : shortPiece ? rest - 1000 : rest));
        if (row_.drop == Drop::DataReset && cut) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // mid-file: what was sent has come
            peer.ResetData();
            peer.Reply("426 Connection closed; transfer aborted.");
            return true;  // the session goes on; the resume comes on it
        }
        peer.CloseData();
        if (cut || everyTime) return false;  // and the control connection with it
        peer.Reply("226 Transfer complete");
        return true;
    }

    const RecoveryCase &row_;
    std::size_t restartAt_ = 0;
    bool entered_ = false;
    int pieces_ = 0;
    sapi::ftpclient::Socket stalePort_;
};

// Where each row's commands went: the logins the call took, a REST on a later
// session, the folder entered again.
struct RecoverySeen {
    explicit RecoverySeen(const std::string &seen) : text(seen) {}
    bool Has(const std::string &line) const { return text.find(line) != std::string::npos; }
    int Count(const std::string &line) const {
        int count = 0;
        for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
        return count;
    }
    const std::string &text;
};

TEST(HostileServer, ADroppedSessionIsOpenedAgainAndACutRetrievalResumesOnTheSameFileOnly) {
    const RecoveryCase rows[] = {
        {"idle 421: the next call runs on a new session, in the same folder", Drop::IdleAfterFolder, SecondLogin::Same,
         true, true},
        {"without recovery the call fails", Drop::IdleAfterFolder, SecondLogin::Same, false, false},
        {"idle 421 as the answer to the call", Drop::IdleAsTheAnswer, SecondLogin::Same, true, true},
        {"login refused on reconnect ends the call at once", Drop::IdleAfterFolder, SecondLogin::Refused, true, false},
        {"the folder gone on the new session: nothing runs elsewhere", Drop::IdleAfterFolder, SecondLogin::FolderGone,
         true, false},
        {"a server down a while: a refused connect is tried again", Drop::DownAWhile, SecondLogin::Same, true, true},
        {"a server silent on reconnect costs one wait, not three", Drop::IdleThenSilent, SecondLogin::Same, true,
         false},
        {"drop at half a file: REST and the rest", Drop::MidRetrieval, SecondLogin::Same, true, true},
        {"a data connection reset with 426: resumed on the same session", Drop::DataReset, SecondLogin::Same, true,
         true},
        {"the file changed meanwhile: no second half", Drop::MidRetrieval, SecondLogin::FileChanged, true, false},
        {"same size, a new MDTM: no second half", Drop::MidRetrieval, SecondLogin::NewDate, true, false},
        {"same size, no MDTM to prove it: no second half", Drop::MidRetrieval, SecondLogin::Same, true, false,
         Mdtm::Absent},
        {"same size, MDTM refused: no second half", Drop::MidRetrieval, SecondLogin::Same, true, false, Mdtm::Refused},
        {"a second piece that ends short is no whole file", Drop::MidRetrieval, SecondLogin::ShortPiece, true, false},
        {"every session dropped halfway: three logins, then the call fails", Drop::EverySession, SecondLogin::Same,
         true, false},
    };
    sapi::ftpclient::ClientTimeouts timeouts;
    timeouts.connect = timeouts.receive = timeouts.send = sapi::ftpclient::Milliseconds{2000};
    timeouts.reconnectPause = sapi::ftpclient::Milliseconds{300};
    const auto saved = sapi::ftpclient::SetTimeoutsForTesting(timeouts);
    for (const RecoveryCase &row : rows) {
        SCOPED_TRACE(row.name);
        RecoveryScript script(row);
        // EverySession: room for one login too many, to see that none comes.
        const int connections = !row.recover || row.drop == Drop::DataReset ? 1 : row.drop == Drop::EverySession ? 5 : 2;
        ScriptedFtpServer server([&script](ScriptPeer &peer) { script.Run(peer); }, connections);
        Client client;
        const uint32_t on = row.recover ? 1 : 0;
        client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_RECONNECT, &on, sizeof on);
        ASSERT_TRUE(client.Connect(server.Port()));
        const bool retrieval = row.drop == Drop::MidRetrieval || row.drop == Drop::DataReset || row.drop == Drop::EverySession;
        bool done = false;
        std::string response;  // what the host is told when the call fails
        const auto started = std::chrono::steady_clock::now();
        if (!retrieval) {
            ASSERT_TRUE(client.services.FtpSetCurrentDirectory(client.connect, Wide("sub").c_str()));
            EXPECT_EQ(CurrentFolder(client), "/sub");
            done = client.Command("NOOP");
            response = client.Response();
            // A new session asks a port of its own; the old one's is dead.
            if (const InternetHandle file = done ? client.Open("big.bin", true) : nullptr) {
                std::string data;
                EXPECT_TRUE(client.ReadAll(file, data) && data == wholeFile) << script.seen;
                client.services.InternetCloseHandle(file);
            }
        } else if (const InternetHandle file = client.Open("big.bin", true)) {
            std::string data;
            done = client.ReadAll(file, data);
            response = client.Response();
            // Never a file short or spliced reported whole.
            EXPECT_TRUE(!done || data == wholeFile) << data.size() << " bytes\n" << script.seen;
            client.services.InternetCloseHandle(file);
        }
        // At most one wait ran out (2 s here), whatever the server did.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << script.seen;
        EXPECT_EQ(done, row.succeeds) << script.seen;
        const bool proven = retrieval && row.recover && row.mdtm == Mdtm::Offered &&
                            (row.second == SecondLogin::Same || row.second == SecondLogin::ShortPiece);
        if (retrieval && !proven) {
            EXPECT_NE(response.find("not resumed"), std::string::npos) << response;
        }
        if (row.second == SecondLogin::FolderGone) {
            EXPECT_NE(response.find("the folder /sub cannot be entered again: 550"), std::string::npos) << response;
            // Every later call tries the folder again, and acts nowhere else.
            EXPECT_FALSE(client.services.FtpDeleteFile(client.connect, Wide("keep.txt").c_str()));
        }
        client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
        const RecoverySeen seen(script.seen);
        EXPECT_EQ(seen.Has("1:USER"), row.recover && row.drop != Drop::DataReset && row.drop != Drop::IdleThenSilent)
            << script.seen;
        EXPECT_LE(seen.Count(":USER"), 4) << script.seen;  // the first, and three for the call
        EXPECT_FALSE(seen.Has("1:DELE") || seen.Has("2:DELE")) << script.seen;
        const bool entersAgain = row.recover && row.second != SecondLogin::Refused &&
                                 row.drop != Drop::IdleThenSilent && row.drop != Drop::DataReset;
        EXPECT_GE(seen.Count("1:CWD /sub\n"), entersAgain ? row.second == SecondLogin::FolderGone ? 2 : 1 : 0)
            << script.seen;
        EXPECT_EQ(seen.Has("1:CWD /sub\n"), entersAgain) << script.seen;
        // The rest of the file from the byte after the last one handed out;
        // no second half of a file that changed or cannot be shown not to.
        EXPECT_EQ(seen.Has(row.drop == Drop::DataReset ? ":REST " : ":REST 524288\n"), proven) << script.seen;
    }
    sapi::ftpclient::SetTimeoutsForTesting(saved);
}

// A host that closes the connection while the client waits between two
// logins (the server is restarting: its port refuses) ends the wait: the
// call returns at once, not after the pause.
TEST(HostileServer, AStopEndsTheWaitBetweenTwoLogins) {
    sapi::ftpclient::ClientTimeouts timeouts;
    timeouts.connect = timeouts.receive = timeouts.send = sapi::ftpclient::Milliseconds{2000};
    timeouts.reconnectPause = sapi::ftpclient::Milliseconds{5000};
    const auto saved = sapi::ftpclient::SetTimeoutsForTesting(timeouts);
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("NOOP");
        peer.StopListening();
        peer.Reply("421 Timeout.");
    });
    Client client;
    const uint32_t on = 1;
    client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_RECONNECT, &on, sizeof on);
    ASSERT_TRUE(client.Connect(server.Port()));
    const auto started = std::chrono::steady_clock::now();
    std::thread stopper([&client] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        client.services.InternetCloseHandle(client.connect);
    });
    EXPECT_FALSE(client.Command("NOOP"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
    stopper.join();
    client.connect = nullptr;
    sapi::ftpclient::SetTimeoutsForTesting(saved);
}

// A server that hashes files itself, or not, and may lie about the digest:
// proftpd's two-line HASH answer, the older XSHA256, nothing at all. A digest
// that differs fails the retrieval at its end and the store at its close; a
// server without digests passes in mode 1 and fails in mode 2, a store then
// refused before STOR.
enum class Offer { Hash, XSha256, Nothing };

struct VerifyCase {
    const char *name;
    Offer offer;
    bool store;
    bool wrongDigest;
    uint32_t mode;
    bool succeeds;
    const char *found;  // the start of what the check found
    bool refused = false;  // the store answered "452", and HASH "550"
    bool cut = false;      // both connections closed as the store begins
};

class DigestScript {
public:
    explicit DigestScript(const VerifyCase &row) : row_(row) {}

    void Run(ScriptPeer &peer) {
        peer.Reply("220 ready");
        for (std::string line = peer.Receive(); !line.empty() && line != "QUIT"; line = peer.Receive()) {
            const std::string verb = line.substr(0, line.find(' '));
            seen += verb + " ";
            Handle(peer, verb);
        }
    }

    std::string seen;

private:
    void Handle(ScriptPeer &peer, const std::string &verb) {
        static const char *const offers[] = {" HASH SHA-1*;SHA-256;MD5;\r\n", " XSHA256\r\n XMD5\r\n", ""};
        if (verb == "FEAT") return peer.Send(std::string("211-Features:\r\n SIZE\r\n EPSV\r\n") +
                                             offers[static_cast<int>(row_.offer)] + "211 End\r\n");
        if (verb == "USER") return peer.Reply("331 Password required");
        if (verb == "SIZE") return peer.Reply("213 " + std::to_string(file_.size()));
        if (verb == "EPSV") return peer.Reply(peer.ListenForData());
        if (verb == "RETR" || verb == "STOR") return Transfer(peer, verb == "STOR");
        if (verb == "HASH" && row_.refused) return peer.Reply("550 Not available");
        if (verb == "HASH") {
            return peer.Send("213-Computing SHA-256 digest\r\n213 SHA-256 0-" + std::to_string(file_.size()) + " " +
                             Digest() + " f.bin\r\n");
        }
        if (verb == "XSHA256") return peer.Reply("250 " + Digest());
        peer.Reply(verb == "PASS" ? "230 In" : "200 OK");
    }

    void Transfer(ScriptPeer &peer, bool store) {
        peer.Reply("150 Opening data connection");
        peer.AcceptData();
        if (store && row_.cut) {
            peer.CloseData();
            ::shutdown(peer.control.Fd(), SHUT_RDWR);  // and the script's next read ends
            return;
        }
        if (store) {
            file_ = peer.ReceiveAllData();
        } else {
            peer.SendData(file_);
            peer.CloseData();
        }
        peer.Reply(row_.refused ? "452 Insufficient storage space" : "226 Transfer complete");
    }

    std::string Digest() const {
        sapi::ftpclient::RunningDigest digest(sapi::ftpclient::DigestAlgorithm::Sha256);
        digest.Add(file_.data(), file_.size());
        std::string hex = digest.Finish();
        if (row_.wrongDigest) hex[0] = hex[0] == '0' ? '1' : '0';
        return hex;
    }

    const VerifyCase &row_;
    std::string file_ = PseudoRandom(100'000);
};

std::string Verification(Client &client) {
    sapi::WideChar text[512] = {};
    uint32_t length = sizeof text;
    if (!client.services.InternetQueryOption(client.connect, sapi::SAPI_OPTION_FTP_VERIFICATION, text, &length)) {
        return "<failed>";
    }
    return Narrow(text);
}

TEST(HostileServer, TransfersAreCheckedAgainstTheServersDigestWhereItOffersOne) {
    const VerifyCase rows[] = {
        {"HASH, chosen with OPTS, two-line answer", Offer::Hash, false, false, 1, true, "verified (SHA-256)"},
        {"HASH with a wrong digest fails the retrieval", Offer::Hash, false, true, 1, false,
         "the server's SHA-256 of the file differs from the bytes received"},
        {"HASH with a wrong digest fails the store", Offer::Hash, true, true, 1, false,
         "the server's SHA-256 of the file differs from the bytes sent"},
        {"XSHA256 on a store", Offer::XSha256, true, false, 2, true, "verified (SHA-256)"},
        {"no digest offered: mode 1 passes", Offer::Nothing, false, false, 1, true, "not verified: the server offers no"},
        {"no digest offered: mode 2 fails the retrieval", Offer::Nothing, false, false, 2, false,
         "not verified: the server offers no"},
        {"no digest offered: mode 2 refuses the store", Offer::Nothing, true, false, 2, false,
         "not verified: the server offers no"},
        {"a store refused is no success, and no digest is asked for it", Offer::Hash, true, false, 1, false, "", true},
        {"a store cut is no success, and may be sent again", Offer::Hash, true, false, 1, false, "", false, true},
    };
    ShortTimeouts timeouts;
    for (const VerifyCase &row : rows) {
        SCOPED_TRACE(row.name);
        DigestScript script(row);
        ScriptedFtpServer server([&script](ScriptPeer &peer) { script.Run(peer); });
        Client client;
        client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_VERIFY_HASH, &row.mode, sizeof row.mode);
        const uint32_t on = 1;
        client.services.InternetSetOption(client.root, sapi::SAPI_OPTION_FTP_RECONNECT, &on, sizeof on);
        ASSERT_TRUE(client.Connect(server.Port()));
        bool done = false;
        const std::string sent = PseudoRandom(70'000);
        if (const InternetHandle file = client.Open("f.bin", !row.store)) {
            std::string data;
            uint32_t written = 0;
            done = row.store ? client.services.InternetWriteFile(file, sent.data(), 70'000, &written)
                             : client.ReadAll(file, data);
            done = client.services.InternetCloseHandle(file) && done;
        }
        EXPECT_EQ(done, row.succeeds) << script.seen;
        // Only a store cut under it goes again: not one the server refused.
        uint32_t again = 0;
        uint32_t length = sizeof again;
        if (row.store) {
            EXPECT_TRUE(client.services.InternetQueryOption(client.connect, sapi::SAPI_OPTION_FTP_SEND_AGAIN, &again, &length));
            EXPECT_EQ(again == 1, row.cut);
        }
        EXPECT_EQ(Verification(client).rfind(row.found, 0), 0u) << Verification(client);
        if (!done && row.store) {  // the failed close is the last call: its reason is the response
            EXPECT_EQ(client.Response().rfind(row.found, 0), 0u) << client.Response();
        }
        // A digest is asked for a transfer the server confirmed, and only then.
        EXPECT_EQ(script.seen.find("OPTS HASH") != std::string::npos, row.offer == Offer::Hash && !row.refused && !row.cut)
            << script.seen;
        EXPECT_EQ(script.seen.find("STOR") != std::string::npos, row.store && row.offer != Offer::Nothing);
        client.services.InternetCloseHandle(client.connect);
        client.connect = nullptr;
        server.Finish();
    }
}

}  // namespace
