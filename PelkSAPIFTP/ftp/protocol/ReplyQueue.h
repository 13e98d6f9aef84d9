// What the server owes us, at any moment: one entry per command sent while
// the session is in step, in the order the answers will come. An entry is
// awaited (a caller reads its answer) or dropped (its answer, whenever it
// comes, is read and thrown away before any later one: OPTS UTF8 ON, whose
// answer changes nothing). Every final reply read answers the head and pops
// it; a preliminary one ("150") leaves it there. The login's flight is
// several awaited entries at once; the peek is a reply read ahead, kept here
// until it is read again. Out of step, what is owed can no longer be counted:
// the entries go, and a marker's answer stands for all of them.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "ftp/protocol/ExpectedReplies.h"
#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

class ReplyQueue {
public:
    struct Entry {
        std::string line;  // the command as sent
        bool awaited;      // false: its answer is dropped when it comes
    };

    void Push(std::string line, bool awaited) { entries_.push_back(Entry{std::move(line), awaited}); }
    // The command the next final reply answers; null when nothing is owed.
    const Entry *Head() const { return entries_.empty() ? nullptr : &entries_.front(); }
    // The one after it, which tells a stray from the head's odd answer.
    const Entry *AfterHead() const { return entries_.size() < 2 ? nullptr : &entries_[1]; }
    // What `reply` is to the head (a stray when nothing is owed).
    ReplyFit Judge(const FtpReply &reply) const {
        return entries_.empty() ? ReplyFit::Stray : FitOf(entries_.front().line, reply.code);
    }
    void Pop() {
        if (!entries_.empty()) entries_.pop_front();
    }
    // The session went out of step: nothing owed can be counted any more.
    void ForgetOwed() { entries_.clear(); }

    void KeepReadAhead(FtpReply reply) { readAhead_ = std::move(reply); }
    std::optional<FtpReply> TakeReadAhead() { return std::exchange(readAhead_, std::nullopt); }
    bool HasReadAhead() const { return readAhead_.has_value(); }
    // Closed or given up: nothing is owed, and nothing read ahead counts.
    void Reset() {
        entries_.clear();
        readAhead_.reset();
    }

    // "PWD, EPSV; dropped: OPTS UTF8 ON", for the trace.
    std::string Owed() const;

private:
    std::deque<Entry> entries_;
    std::optional<FtpReply> readAhead_;
};

}  // namespace sapi::ftpclient
