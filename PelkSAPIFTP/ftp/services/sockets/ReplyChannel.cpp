#include "ftp/services/sockets/ReplyChannel.h"

#include "ftp/protocol/ReplyCodes.h"

namespace sapi::ftpclient {

namespace {

// Preliminary replies (1xx) accepted before a final one.
constexpr int maxPreliminaryReplies = 16;

const char *NameOf(ChannelState state) {
    switch (state) {
    case ChannelState::Closed: return "closed";
    case ChannelState::Ready: return "in step";
    case ChannelState::OutOfStep: return "out of step";
    case ChannelState::Broken: return "control connection given up";
    }
    return "?";
}

}  // namespace

std::string CommandAsNamed(std::string_view line) {
    const std::string_view verb = VerbOf(line);
    for (std::string_view whole : {"AUTH", "PBSZ", "PROT", "TYPE", "OPTS"}) {
        if (verb == whole) return std::string(line);
    }
    return std::string(verb);
}

void ReplyChannel::ChangeState(ChannelState next) {
    if (next != state_ && state_ == ChannelState::Ready && queue_.Head()) {
        trace_.Note("owed: " + queue_.Owed());
    }
    if (next == ChannelState::Closed || next == ChannelState::Broken) {
        control_.Close();
        queue_.Reset();
        abortDue_ = false;
    }
    if (next != ChannelState::Ready) queue_.ForgetOwed();  // a marker drops them, or nothing comes any more
    if (next != state_) trace_.Note(std::string(NameOf(state_)) + " -> " + NameOf(next));
    state_ = next;
}

SessionError ReplyChannel::Open(StreamFactory &streams, const std::string &host, uint16_t port) {
    ChangeState(ChannelState::Closed);
    lastCommand_.clear();
    lastReply_ = FtpReply{};
    brokenBy_ = SessionError::None;
    if (const SessionError error = control_.Connect(streams, host, port, DeadlineAfter(timeouts_.connect))) {
        return error;
    }
    ChangeState(ChannelState::Ready);
    return SessionError::None;
}

SessionError ReplyChannel::AwaitGreeting(FtpReply &greeting) {
    queue_.Push("", true);  // whatever the server says first
    return AwaitFinal(greeting, DeadlineAfter(timeouts_.receive));
}

SessionError ReplyChannel::EnsureInStep() {
    switch (state_) {
    case ChannelState::Ready: return SessionError::None;
    case ChannelState::OutOfStep: return Resynchronise();
    case ChannelState::Closed: return SessionError::ConnectionLost;
    case ChannelState::Broken: break;
    }
    return SessionError::Unusable;
}

// A session in step expects nothing before its next command; a reply that
// came anyway (a late word on a transfer already settled, an idle "421
// Timeout.") must not be taken as the answer to that command.
void ReplyChannel::DropUnsolicited() {
    control_.TakeAvailable();
    FtpReply stale;
    while ((queue_.HasReadAhead() || control_.HasReply()) && !ReadReply(stale, SteadyClock::now())) {
        trace_.Stray(stale, "nothing");
        if (stale.code == 421) {
            lastReply_ = stale;
            GiveUp(SessionError::ConnectionLost);
            return;
        }
    }
}

SessionError ReplyChannel::Send(const std::vector<std::string> &lines, bool awaited) {
    if (state_ == ChannelState::Broken) return SessionError::Unusable;
    if (state_ == ChannelState::Closed) return SessionError::ConnectionLost;
    for (const std::string &line : lines) {
        trace_.Command(line);
        if (state_ == ChannelState::Ready) queue_.Push(line, awaited);
    }
    if (awaited) lastCommand_ = CommandAsNamed(lines.front());
    if (const SessionError error = control_.SendLines(lines, DeadlineAfter(timeouts_.send))) return GiveUp(error);
    return SessionError::None;
}

// The answers owed to commands nobody waits for are dropped here as they
// come; a "421" is never dropped, whoever it answers.
SessionError ReplyChannel::ReadReply(FtpReply &reply, Deadline deadline) {
    for (;;) {
        if (std::optional<FtpReply> ahead = queue_.TakeReadAhead()) {
            reply = std::move(*ahead);
        } else if (const SessionError error = control_.ReadReply(reply, deadline)) {
            return error;
        }
        const ReplyQueue::Entry *head = queue_.Head();
        if (!head || head->awaited || reply.IsPreliminary() || reply.code == 421) return SessionError::None;
        trace_.Note("the answer to " + CommandAsNamed(head->line) + ", not waited for:");
        trace_.Reply(reply);
        queue_.Pop();
    }
}

// Sent as any command is, but a failure still names the one before.
void ReplyChannel::SendUnawaited(const std::string &line) { Send({line}, false); }

SessionError ReplyChannel::Ask(const std::string &line, FtpReply &reply, Milliseconds wait) {
    if (const SessionError error = EnsureInStep()) return error;
    DropUnsolicited();
    if (const SessionError error = Send({line})) return error;
    return NextAnswer(reply, DeadlineAfter(wait));
}

SessionError ReplyChannel::AskFinal(const std::string &line, FtpReply &reply, Milliseconds wait) {
    if (const SessionError error = Ask(line, reply, wait)) return error;
    if (!reply.IsPreliminary()) return SessionError::None;
    return AwaitFinal(reply, DeadlineAfter(wait));
}

SessionError ReplyChannel::AwaitFinal(FtpReply &reply, Deadline deadline) {
    return AwaitFinalAnswer(reply, deadline, false);
}

SessionError ReplyChannel::AwaitFinalAnswer(FtpReply &reply, Deadline deadline, bool moreInFlight) {
    for (int preliminary = 0; preliminary <= maxPreliminaryReplies; ++preliminary) {
        const SessionError error = moreInFlight ? NextAnswerInFlight(reply, deadline) : NextAnswer(reply, deadline);
        if (error) return error;
        if (!reply.IsPreliminary()) return SessionError::None;
    }
    return GiveUp(SessionError::ConnectionLost);
}

// In step, nothing else is on its way (whatever was late came before the
// command and was dropped), so the next complete reply is the answer,
// whatever its code, judged by its first digit: a "314" to CWD fails it at
// once, a "200" to USER logs in, a "999" is a refusal. Waiting past it for a
// code the command "should" get would only run into the deadline with the
// server long done.
SessionError ReplyChannel::NextAnswer(FtpReply &reply, Deadline deadline) {
    if (const SessionError error = ReadReply(reply, deadline)) return GiveUp(error);
    return TakeAnswer(reply);
}

// The reply answers the head of the queue, odd or not; a final one pops it.
SessionError ReplyChannel::TakeAnswer(FtpReply &reply) {
    const std::string line = queue_.Head() ? queue_.Head()->line : std::string();
    const std::string_view verb = VerbOf(line);
    if (queue_.Judge(reply) == ReplyFit::Stray) {
        trace_.Note("not a reply " + std::string(verb) + " takes; taken as its answer");
        oddAnswer_ = true;
    }
    if (!reply.IsPreliminary()) queue_.Pop();
    trace_.Reply(reply);
    lastReply_ = reply;
    if (reply.code == 421) {  // the server is closing
        GiveUp(SessionError::ConnectionLost);
    } else if (state_ == ChannelState::Ready && MayHaveBeenAnsweredTwice(reply, verb, line.size() > verb.size())) {
        ChangeState(ChannelState::OutOfStep);
    }
    return SessionError::None;
}

bool ReplyChannel::ReplyWaiting() {
    control_.TakeAvailable();
    // An owed answer that has come is no reply to wait on.
    FtpReply next;
    const ReplyQueue::Entry *head = queue_.Head();
    if (head && !head->awaited && (queue_.HasReadAhead() || control_.HasReply()) &&
        !ReadReply(next, SteadyClock::now())) {
        queue_.KeepReadAhead(std::move(next));
    }
    return queue_.HasReadAhead() || control_.HasReply();
}

void ReplyChannel::LeftMidRetrieval() {
    if (state_ != ChannelState::Ready) return;
    ChangeState(ChannelState::OutOfStep);
    abortDue_ = true;
}

SessionError ReplyChannel::DataFailed(SessionError error, bool finalSeen) {
    if (error == SessionError::TimedOut) return GiveUp(error);
    if (!finalSeen && state_ == ChannelState::Ready) ChangeState(ChannelState::OutOfStep);
    return error;
}

// A reply that did not come in time may still come, or never: either way
// waiting again would only stretch the call. The first cause is kept.
SessionError ReplyChannel::GiveUp(SessionError error) {
    if (state_ != ChannelState::Broken && brokenBy_ == SessionError::None) brokenBy_ = error;
    ChangeState(ChannelState::Broken);
    return error;
}

void ReplyChannel::Quit() {
    if (state_ == ChannelState::Ready || state_ == ChannelState::OutOfStep) {
        trace_.Command("QUIT");
        control_.SendLine("QUIT", SteadyClock::now() + Milliseconds{1000});
    }
    ChangeState(ChannelState::Closed);
}

}  // namespace sapi::ftpclient
