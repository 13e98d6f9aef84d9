// Scripted exchanges as data: one file per case under transcripts/, played by
// one runner. A transcript says what the server sends, what the client must
// send (a flight as a set, so that regrouping commands changes no script),
// and what the host calls and must be told.
//
//   # comment
//   mode active           (default: passive)
//   follow <seconds>      retrievals follow a growing file (default: they do not)
//   login                 greeting, USER, PASS, {FEAT | TYPE I | PWD}, answered
//                         (FEAT: MLST, SIZE, EPSV)
//   S <text>              the server sends a line; S lines in a row go in one
//                         write; "<port>" is a 229 naming a fresh data listener,
//                         "<pasv>" a 227
//   C <line>              the client's next line is this ("*" at the end: starts so)
//   C {A | B | C}         its next lines are these, in any order
//   U <line>              the same, after Telnet IP with its Synch as urgent data
//   D accept | close | drain | send <text> | send <N> bytes
//   W <ms>                the server waits
//   H <call> [argument] => <outcome>
//                         a host call: ls, cwd, mkd, pwd, size, get, put, probe,
//                         noop, abor; outcome ok, fail, or for pwd the folder, and
//                         "ok: <text>" / "fail: <text>" for the response's start
//
// The server's lines run on the script's thread, the host's calls on the
// test's, at once: each side waits for the other only where the protocol
// makes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ClientTestSupport.h"

namespace ftpclienttest {

struct Transcript {
    std::string name;
    bool passive = true;
    uint32_t follow = 0;
    std::vector<std::string> server;  // S C U D W lines, and "login"
    std::vector<std::string> host;    // H lines without the "H "
};

Transcript ReadTranscript(const std::filesystem::path &file);
// The server's side of it, for a ScriptedFtpServer.
void PlayServer(const Transcript &transcript, ScriptPeer &peer);
// The host's side; failures are reported to the running test.
void PlayHost(const Transcript &transcript, Client &client);

}  // namespace ftpclienttest
