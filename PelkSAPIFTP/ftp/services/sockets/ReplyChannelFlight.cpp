// Pipelining: commands of which none waits on another's answer go out in one
// write, and their answers are read in order, each judged as a lone
// command's answer is. Every server we know answers in order; what can go
// wrong is a reply that belongs to none of them (a late "226", a duplicate)
// turning up in the middle and shifting the rest by one.
#include "ftp/services/sockets/ReplyChannel.h"

namespace sapi::ftpclient {

SessionError ReplyChannel::AskInOneFlight(const std::vector<std::string> &lines, std::vector<FtpReply> &replies,
                                          std::size_t gating) {
    replies.assign(lines.size(), FtpReply{});
    if (const SessionError error = EnsureInStep()) return error;
    DropUnsolicited();
    if (const SessionError error = Send(lines)) return error;
    const Deadline deadline = DeadlineAfter(timeouts_.receive);
    // A reply taken as an answer that cannot be one may be an earlier
    // command's, said twice: from it on (the first answer aside, which is
    // judged as a lone command's is) no answer can be vouched for.
    std::size_t shiftedFrom = lines.size();
    const auto vouched = [&](SessionError result) {
        for (std::size_t i = shiftedFrom; i < lines.size(); ++i) replies[i] = FtpReply{};
        if (shiftedFrom < lines.size() && state_ == ChannelState::Ready) ChangeState(ChannelState::OutOfStep);
        return result;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Out of step (a "500" that may have come twice), the answers still
        // due can no longer be counted: the marker before the next command
        // drops them, as it drops anything else still on its way.
        if (state_ == ChannelState::OutOfStep) return vouched(SessionError::None);
        if (state_ != ChannelState::Ready) return vouched(EnsureInStep());
        lastCommand_ = CommandAsNamed(lines[i]);
        oddAnswer_ = false;
        if (const SessionError error = AwaitFinalAnswer(replies[i], deadline, i + 1 < lines.size())) {
            return vouched(error);
        }
        if (oddAnswer_ && i + 1 < lines.size() && shiftedFrom == lines.size()) shiftedFrom = i > 0 ? i : 1;
        if (i < gating && !replies[i].IsSuccess() && i + 1 < lines.size()) {
            if (state_ == ChannelState::Ready) ChangeState(ChannelState::OutOfStep);
            return vouched(SessionError::None);
        }
    }
    return vouched(SessionError::None);
}

// A reply that cannot answer the command at the head of a flight is either a
// stray or that command's odd answer ("202" to OPTS). The next reply, which
// the rest of the flight makes sure will come, tells: if it answers the head
// and not the command after it, the first was a stray.
SessionError ReplyChannel::NextAnswerInFlight(FtpReply &reply, Deadline deadline) {
    if (const SessionError error = ReadReply(reply, deadline)) return GiveUp(error);
    if (queue_.Judge(reply) != ReplyFit::Stray) return TakeAnswer(reply);
    FtpReply next;
    if (const SessionError error = ReadReply(next, deadline)) {
        TakeAnswer(reply);
        GiveUp(error);
        return SessionError::None;
    }
    const bool answersHead = queue_.Judge(next) != ReplyFit::Stray;
    const ReplyQueue::Entry *after = queue_.AfterHead();
    const bool answersNext = FitOf(after ? after->line : std::string(), next.code) != ReplyFit::Stray;
    if (answersHead && !answersNext) {
        trace_.Stray(reply, VerbOf(queue_.Head()->line));
        return TakeAnswer(reply = std::move(next));
    }
    queue_.KeepReadAhead(std::move(next));
    const SessionError error = TakeAnswer(reply);
    // The next reply answers the next command and not this one: the odd
    // reply was this one's answer, and nothing is shifted.
    if (!answersHead && answersNext) oddAnswer_ = false;
    return error;
}

}  // namespace sapi::ftpclient
