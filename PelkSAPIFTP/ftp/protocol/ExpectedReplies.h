// Which replies can answer which command (ReplyQueue.h keeps which
// commands are owed an answer). A server's reply that cannot be the
// answer to the command in flight (a "226" to SIZE, a "150" to CWD) is a
// stray: a late word on something already settled, or a duplicate. While
// the session knows replies may still be on their way it drops them, so that
// a late reply can never stand in for the one it waits for; in step, it takes
// the next reply as the answer whatever it is, and traces a stray as such.
//
// Failure replies (4xx, 5xx) can answer any command, except those that speak
// of a data connection (425, 426), which answer only commands that open one.
// A command this table does not know (one the host sends as it stands) takes
// any reply.
#pragma once

#include <string_view>

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

enum class ReplyFit {
    Preliminary,  // 1xx that this command may send before its answer
    Answer,       // the final reply to this command
    Stray,        // cannot belong to this command
};

ReplyFit FitOf(std::string_view commandLine, int code);

// The command's verb, upper case, as far as the first blank ("RETR a" -> "RETR").
std::string_view VerbOf(std::string_view commandLine);

}  // namespace sapi::ftpclient
