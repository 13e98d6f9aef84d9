// One reply of an FTP server: its three-digit code and its lines as sent,
// without their line ends.
#pragma once

#include <string>
#include <vector>

namespace sapi::ftpclient {

struct FtpReply {
    int code = 0;
    std::vector<std::string> lines;

    bool IsPreliminary() const { return code >= 100 && code < 200; }
    bool IsSuccess() const { return code >= 200 && code < 300; }
    bool IsIntermediate() const { return code >= 300 && code < 400; }
    bool IsFailure() const { return code >= 400; }
    // The whole reply, lines joined by CR LF, with no line end after the last.
    std::string Text() const;
    // The first line after its code and separator ("257 "/"257-").
    std::string FirstLineMessage() const;
};

}  // namespace sapi::ftpclient
