// The conversation of one session, written out for a user to send in when a
// server misbehaves. PELKSAPIFTP_TRACE, read when a connection opens, turns
// it on: "stderr", or the path of a file to append to. Passwords never reach
// it. Each line carries the seconds since the connection opened:
//   [  0.004] > USER bob
//   [  0.005] < 331 Password required
//   [  1.210] ~ stray, skipped while waiting on CWD: 226 Transfer complete
//   [  1.212] * data connection closed: 1048576 bytes in 0.081 s
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "ftp/protocol/FtpReply.h"
#include "ftp/services/sockets/Deadline.h"

namespace sapi::ftpclient {

class SessionTrace {
public:
    // Looks at the environment; off when the variable is unset or empty, or
    // when the file cannot be opened.
    void Open();
    bool On() const { return out_ != nullptr; }

    void Command(std::string_view line);
    void Reply(const FtpReply &reply);
    void Stray(const FtpReply &reply, std::string_view waitingOn);
    void Note(std::string_view text);
    // Seconds since the connection opened, for notes that time a step.
    double Seconds() const;

private:
    struct FileCloser {
        void operator()(std::FILE *file) const;
    };
    void Line(char mark, std::string_view text);

    std::unique_ptr<std::FILE, FileCloser> owned_;
    std::FILE *out_ = nullptr;
    Deadline start_{};
};

// "PASS secret" -> "PASS ********"; other lines as they are.
std::string MaskedCommand(std::string_view line);

}  // namespace sapi::ftpclient
