// Pipelining: commands of which none waits on another's answer go out in one
// write, and their answers are read in order, each judged as a lone
// command's answer is. Every server we know answers in order; what can go
// wrong is a reply that belongs to none of them (a late "226", a duplicate)
// turning up in the middle and shifting the rest by one.
#include "ftp/services/sockets/ReplyChannel.h"

namespace sapi::ftpclient {

SessionError ReplyChannel::AskInOneFlight(const std::vector<std::string> &lines, std::vector<FtpReply> &replies) {
    replies.assign(lines.size(), FtpReply{});
    if (const SessionError error = EnsureInStep()) return error;
    DropUnsolicited();
    if (const SessionError error = Send(lines)) return error;
    const Deadline deadline = DeadlineAfter(timeouts_.receive);
    bool mayBeShifted = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Out of step (a "500" that may have come twice), the answers still
        // due can no longer be counted: the marker before the next command
        // drops them, as it drops anything else still on its way.
        if (state_ == ChannelState::OutOfStep) return SessionError::None;
        if (state_ != ChannelState::Ready) return EnsureInStep();
        matcher_.Expect(lines[i]);
        lastCommand_ = CommandAsNamed(lines[i]);
        flightNext_ = i + 1 < lines.size() ? lines[i + 1] : std::string();
        oddAnswer_ = false;
        if (const SessionError error = AwaitFinalAnswer(replies[i], deadline, i + 1 < lines.size())) return error;
        mayBeShifted = mayBeShifted || (oddAnswer_ && i + 1 < lines.size());
    }
    // A reply taken as an answer that cannot be one may have shifted the
    // answers after it: the next command gets back in step first.
    if (mayBeShifted && state_ == ChannelState::Ready) ChangeState(ChannelState::OutOfStep);
    return SessionError::None;
}

// A reply that cannot answer the command at the head of a flight is either a
// stray or that command's odd answer ("202" to OPTS). The next reply, which
// the rest of the flight makes sure will come, tells: if it answers the head
// and not the command after it, the first was a stray.
SessionError ReplyChannel::NextAnswerInFlight(FtpReply &reply, Deadline deadline) {
    if (const SessionError error = ReadReply(reply, deadline)) return GiveUp(error);
    if (FitOf(matcher_.Verb(), reply.code) != ReplyFit::Stray) return TakeAnswer(reply);
    FtpReply next;
    if (const SessionError error = ReadReply(next, deadline)) {
        TakeAnswer(reply);
        GiveUp(error);
        return SessionError::None;
    }
    const bool answersHead = FitOf(matcher_.Verb(), next.code) != ReplyFit::Stray;
    if (answersHead && FitOf(flightNext_, next.code) == ReplyFit::Stray) {
        trace_.Stray(reply, matcher_.Verb());
        reply = std::move(next);
    } else {
        peeked_ = std::move(next);
    }
    return TakeAnswer(reply);
}

}  // namespace sapi::ftpclient
