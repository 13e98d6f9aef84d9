#include "Transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace ftpclienttest {

namespace {

std::string After(const std::string &line, std::size_t prefix) {
    return line.size() > prefix ? line.substr(prefix) : std::string();
}

std::vector<std::string> Split(const std::string &text, const std::string &separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + separator.size();
    }
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

bool Matches(const std::string &line, const std::string &wanted) {
    if (!wanted.empty() && wanted.back() == '*') return line.compare(0, wanted.size() - 1, wanted, 0, wanted.size() - 1) == 0;
    return line == wanted;
}

void Fail(ScriptPeer &peer, const std::string &what) {
    if (peer.failure.empty()) peer.failure = what;
}

void ExpectLines(ScriptPeer &peer, const std::string &wanted) {
    if (wanted.empty() || wanted.front() != '{') {
        const std::string line = peer.Receive();
        if (!Matches(line, wanted)) Fail(peer, "expected [" + wanted + "], got [" + line + "]");
        return;
    }
    std::vector<std::string> set = Split(wanted.substr(1, wanted.size() - 2), "|");
    for (std::string &item : set) item = Trimmed(item);
    for (std::size_t count = set.size(); count > 0; --count) {
        const std::string line = peer.Receive();
        const auto found = std::find_if(set.begin(), set.end(), [&](const std::string &item) { return Matches(line, item); });
        if (found == set.end()) return Fail(peer, "[" + line + "] is none of " + wanted);
        set.erase(found);
    }
}

void Data(ScriptPeer &peer, const std::string &action) {
    if (action == "accept") return peer.AcceptData();
    if (action == "close") return peer.CloseData();
    if (action == "drain") return static_cast<void>(peer.ReceiveAllData());
    if (action.compare(0, 5, "send ") != 0) return Fail(peer, "unknown data step: " + action);
    const std::string what = action.substr(5);
    const std::size_t bytes = what.find(" bytes");
    // The bytes of a large file: a client that stops reading makes the server block here.
    if (bytes != std::string::npos) {
        const std::string block(std::stoul(what.substr(0, bytes)), 'x');
        sapi::ftpclient::SendAll(peer.data, block.data(), block.size(), sapi::ftpclient::Milliseconds{5000});
        return;
    }
    peer.SendData(what);
}

// "227 Entering Passive Mode (127,0,0,1,p1,p2)" for a fresh data listener.
std::string PassiveReply(ScriptPeer &peer) {
    const std::string extended = peer.ListenForData();
    const std::size_t bars = extended.find("|||");
    const int port = std::stoi(extended.substr(bars + 3));
    return "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256) + ")";
}

void LogIn(ScriptPeer &peer) {
    peer.Reply("220 transcript server ready");
    ExpectLines(peer, "USER test");
    peer.Reply("331 Password required");
    ExpectLines(peer, "PASS secret");
    peer.Reply("230 Logged in");
    ExpectLines(peer, "{FEAT | TYPE I | PWD}");
    peer.Send("211-Features:\r\n MLST type*;size*;\r\n SIZE\r\n EPSV\r\n211 End\r\n200 Type set to I\r\n"
              "257 \"/\" is the current directory\r\n");
}

}  // namespace

Transcript ReadTranscript(const std::filesystem::path &file) {
    Transcript transcript;
    transcript.name = file.filename().string();
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line == "mode active") {
            transcript.passive = false;
        } else if (line.compare(0, 7, "follow ") == 0) {
            transcript.follow = static_cast<uint32_t>(std::stoul(line.substr(7)));
        } else if (line.compare(0, 2, "H ") == 0) {
            transcript.host.push_back(line.substr(2));
        } else {
            transcript.server.push_back(line);
        }
    }
    return transcript;
}

void PlayServer(const Transcript &transcript, ScriptPeer &peer) {
    std::string pending;  // S lines in a row, sent in one write
    for (const std::string &line : transcript.server) {
        const char kind = line[0];
        if (kind == 'S') {
            const std::string text = After(line, 2);
            pending += (text == "<port>" ? peer.ListenForData() : text == "<pasv>" ? PassiveReply(peer) : text) + "\r\n";
            continue;
        }
        if (!pending.empty()) peer.Send(std::exchange(pending, ""));
        if (!peer.failure.empty()) return;
        if (line == "login") {
            LogIn(peer);
        } else if (kind == 'C') {
            ExpectLines(peer, After(line, 2));
        } else if (kind == 'U') {
            peer.interrupted = peer.urgentMark = false;
            ExpectLines(peer, After(line, 2));
            if (!peer.interrupted || !peer.urgentMark) Fail(peer, After(line, 2) + " came without Telnet IP and Synch");
        } else if (kind == 'D') {
            Data(peer, After(line, 2));
        } else if (kind == 'W') {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(After(line, 2))));
        } else {
            Fail(peer, "unknown transcript line: " + line);
        }
    }
    if (!pending.empty()) peer.Send(pending);
    // Whatever the client still says (QUIT) is read, so that it is not reset.
    peer.Receive();
}

namespace {

// `said`: what a failed read of a retrieval told the host, before its close.
bool Call(Client &client, const std::string &call, const std::string &argument, std::string &folder,
          std::string &said) {
    auto &services = client.services;
    const WideString wide = Wide(argument);
    if (call == "cwd") return services.FtpSetCurrentDirectory(client.connect, wide.c_str());
    if (call == "mkd") return services.FtpCreateDirectory(client.connect, wide.c_str());
    if (call == "noop" || call == "abor") return client.Command(call == "noop" ? "NOOP" : "ABOR");
    if (call == "size") return client.Command("SIZE " + argument);
    if (call == "pwd") {
        sapi::WideChar buffer[260] = {};
        uint32_t length = 260;
        const bool done = services.FtpGetCurrentDirectory(client.connect, buffer, &length);
        folder = Narrow(buffer);
        return done;
    }
    if (call == "ls") {
        sapi::FtpFindData data;
        const InternetHandle find = services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
        if (find) services.InternetCloseHandle(find);
        return find != nullptr || services.GetLastError() == sapi::wininet::ERROR_NO_MORE_FILES;
    }
    const bool store = call == "put";
    const std::size_t blank = argument.find(' ');
    const InternetHandle file = client.Open(argument.substr(0, blank), !store);
    if (!file) return false;
    bool done = true;
    if (store) {
        const std::string text = blank == std::string::npos ? std::string() : argument.substr(blank + 1);
        uint32_t written = 0;
        done = services.InternetWriteFile(file, text.data(), static_cast<uint32_t>(text.size()), &written);
    } else if (call == "probe") {  // the asset probe: 32 bytes, closed, then ABOR
        char head[32];
        uint32_t got = 0;
        done = services.InternetReadFile(file, head, sizeof head, &got);
    } else {
        std::string data;
        done = client.ReadAll(file, data);
        if (!done) said = client.Response();
    }
    done = services.InternetCloseHandle(file) && done;
    if (call == "probe") client.Command("ABOR");
    return done;
}

}  // namespace

void PlayHost(const Transcript &transcript, Client &client) {
    for (const std::string &step : transcript.host) {
        SCOPED_TRACE(step);
        const std::size_t arrow = step.find(" => ");
        const std::string command = step.substr(0, arrow);
        const std::string outcome = arrow == std::string::npos ? std::string("ok") : step.substr(arrow + 4);
        const std::size_t blank = command.find(' ');
        std::string folder;
        std::string said;
        const bool done = Call(client, command.substr(0, blank),
                               blank == std::string::npos ? std::string() : command.substr(blank + 1), folder, said);
        if (said.empty()) said = client.Response();
        if (outcome.front() == '/') {
            EXPECT_TRUE(done);
            EXPECT_EQ(folder, outcome);
            continue;
        }
        EXPECT_EQ(done, outcome.compare(0, 2, "ok") == 0) << client.Response();
        const std::size_t colon = outcome.find(": ");
        if (colon != std::string::npos) {
            const std::string text = outcome.substr(colon + 2);
            EXPECT_EQ(said.substr(0, text.size()), text);
        }
    }
}

}  // namespace ftpclienttest
