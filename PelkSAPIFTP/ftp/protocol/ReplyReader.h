// Turns the bytes of an FTP control connection into replies. No socket here:
// the caller feeds what it received and takes complete replies out.
//
// A server cannot make the reader hold more than a bounded amount: a line
// longer than maxLineLength, a reply of more than maxReplyLines lines or
// maxReplyBytes bytes, or more than maxQueuedReplies unread replies puts the
// reader into a failed state that it never leaves (the connection is then
// beyond saving and is dropped by the caller).
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

class ReplyReader {
public:
    static constexpr std::size_t maxLineLength = 8 * 1024;
    static constexpr std::size_t maxReplyLines = 2000;
    static constexpr std::size_t maxReplyBytes = 256 * 1024;
    static constexpr std::size_t maxQueuedReplies = 1000;

    // Returns false once the reader has failed.
    bool Feed(std::string_view bytes);
    std::optional<FtpReply> Next();
    bool HasReply() const { return !ready_.empty(); }
    bool Failed() const { return failed_; }
    // Bytes of a reply begun but not finished (a reply still arriving).
    bool MidReply() const { return !partialLine_.empty() || inMultiLine_; }

private:
    void TakeLine(std::string_view line);
    void Finish();
    bool Fail();

    std::string partialLine_;
    FtpReply current_;
    std::size_t currentBytes_ = 0;
    bool inMultiLine_ = false;
    std::deque<FtpReply> ready_;
    bool failed_ = false;
};

// The code of a line that starts a reply ("ddd " or "ddd-" or just "ddd"), or
// nothing. *multiLine tells which.
std::optional<int> ReplyCodeOf(std::string_view line, bool *multiLine);

}  // namespace sapi::ftpclient
