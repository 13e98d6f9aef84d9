#include "ftp/services/sockets/FtpSession.h"


namespace sapi::ftpclient {

namespace {
// Replies dropped while looking for a NOOP's 200 before giving the session up.
constexpr int maxStaleReplies = 16;
// Preliminary replies (1xx) accepted before a final one.
constexpr int maxPreliminaryReplies = 16;
}  // namespace

FtpSession::~FtpSession() { Close(); }

void FtpSession::ChangeState(SessionState next) {
    if (next == SessionState::Closed || next == SessionState::Broken) {
        control_.Close();
        transfer_.channel = DataChannel{};
        if (transfer_.open && !transfer_.confirmed && transfer_.failure == SessionError::None) {
            transfer_.failure = SessionError::ConnectionLost;
        }
    }
    state_ = next;
}

SessionError FtpSession::EnsureInStep() {
    if (transfer_.open) return SessionError::TransferInProgress;
    switch (state_) {
    case SessionState::Ready: return SessionError::None;
    case SessionState::OutOfStep: return Synchronise();
    case SessionState::Transferring: return SessionError::TransferInProgress;
    case SessionState::Closed:
    case SessionState::Broken: break;
    }
    return SessionError::ConnectionLost;
}

// Puts the control connection back in step: whatever replies are still on
// their way (a 426/226 after an early close; proftpd's "226 Transfer
// complete" that comes only when the next command arrives; pure-ftpd's lone
// "150 0.005 seconds (measured here), ..." after a closed retrieval) are
// dropped up to the 200 that answers our NOOP.
SessionError FtpSession::Synchronise() {
    control_.TakeAvailable();
    if (const SessionError error = control_.SendLine("NOOP", DeadlineAfter(CurrentTimeouts().send))) return ReplyTrouble(error);
    for (int dropped = 0; dropped < maxStaleReplies; ++dropped) {
        FtpReply reply;
        if (const SessionError error = control_.ReadReply(reply, DeadlineAfter(CurrentTimeouts().receive))) {
            ChangeState(SessionState::Broken);  // no answer to a NOOP: nothing left to trust
            return error;
        }
        if (reply.code == 421) {
            lastReply_ = reply;
            ChangeState(SessionState::Broken);
            return SessionError::ConnectionLost;
        }
        if (reply.code == 200) {
            ChangeState(SessionState::Ready);
            return SessionError::None;
        }
    }
    ChangeState(SessionState::Broken);
    return SessionError::ConnectionLost;
}

// A session in step expects nothing before its next command; a reply that
// came anyway (a late word on a transfer already settled, an idle "421
// Timeout.") must not be taken as the answer to that command.
void FtpSession::DropUnsolicited() {
    control_.TakeAvailable();
    FtpReply stale;
    while (control_.HasReply() && !control_.ReadReply(stale, SteadyClock::now())) {
        if (stale.code == 421) {
            lastReply_ = stale;
            ChangeState(SessionState::Broken);
            return;
        }
    }
}

// Sends a command and returns the first reply to it, preliminary or not.
SessionError FtpSession::Request(const std::string &line, FtpReply &reply) {
    if (state_ == SessionState::Ready) DropUnsolicited();
    if (state_ == SessionState::Broken) return SessionError::ConnectionLost;
    if (const SessionError error = control_.SendLine(line, DeadlineAfter(CurrentTimeouts().send))) return ReplyTrouble(error);
    if (const SessionError error = control_.ReadReply(reply, DeadlineAfter(CurrentTimeouts().receive))) {
        return ReplyTrouble(error);
    }
    lastReply_ = reply;
    if (reply.code == 421) ChangeState(SessionState::Broken);  // the server is closing
    return SessionError::None;
}

// Waits past preliminary replies for the final one.
SessionError FtpSession::AwaitFinal(FtpReply &reply, Deadline deadline) {
    for (int preliminary = 0; preliminary <= maxPreliminaryReplies; ++preliminary) {
        if (const SessionError error = control_.ReadReply(reply, deadline)) return ReplyTrouble(error);
        lastReply_ = reply;
        if (reply.code == 421) ChangeState(SessionState::Broken);
        if (!reply.IsPreliminary()) return SessionError::None;
    }
    return ReplyTrouble(SessionError::ConnectionLost);
}

SessionError FtpSession::Exchange(const std::string &line, FtpReply &reply) {
    if (const SessionError error = Request(line, reply)) return error;
    if (!reply.IsPreliminary()) return SessionError::None;
    return AwaitFinal(reply, DeadlineAfter(CurrentTimeouts().receive));
}

// A reply that did not come: after a timeout it may still come, so the
// session is out of step; anything else ends the session.
SessionError FtpSession::ReplyTrouble(SessionError error) {
    ChangeState(error == SessionError::TimedOut ? SessionState::OutOfStep : SessionState::Broken);
    return error;
}

SessionError FtpSession::Refused(const FtpReply &reply) {
    lastReply_ = reply;
    return SessionError::Refused;
}

SessionError FtpSession::Login(const std::string &host, uint16_t port, const std::string &user,
                           const std::string &password) {
    ChangeState(SessionState::Closed);
    if (const SessionError error = control_.Connect(host, port, DeadlineAfter(CurrentTimeouts().connect))) return error;
    ChangeState(SessionState::Ready);
    FtpReply greeting;
    if (const SessionError error = AwaitFinal(greeting, DeadlineAfter(CurrentTimeouts().receive))) {
        ChangeState(SessionState::Closed);
        return error;
    }
    SessionError error = greeting.IsSuccess() ? SecureControl() : Refused(greeting);
    if (!error) error = LogIn(user, password);
    if (error != SessionError::None) {
        ChangeState(SessionState::Closed);
        return error;
    }
    const FtpReply loginReply = lastReply_;
    LearnFeatures();
    FtpReply reply;
    error = Exchange("TYPE I", reply);  // kept for the whole session: SIZE needs it on some servers
    if (error != SessionError::None) return error;
    lastReply_ = loginReply;
    return state_ == SessionState::Ready ? SessionError::None : SessionError::ConnectionLost;
}

SessionError FtpSession::LogIn(const std::string &user, const std::string &password) {
    FtpReply reply;
    if (const SessionError error = Exchange("USER " + (user.empty() ? std::string("anonymous") : user), reply)) {
        return error;
    }
    if (reply.code == 331) {
        if (const SessionError error = Exchange("PASS " + password, reply)) return error;
    }
    if (reply.IsSuccess()) return SessionError::None;
    lastReply_ = reply;
    return SessionError::LoginRefused;
}

void FtpSession::LearnFeatures() {
    FtpReply reply;
    if (Exchange("FEAT", reply) != SessionError::None) return;
    features_ = ParseFeatures(reply);
    if (features_.known) {
        useMlsd_ = features_.mlsd;
        useSize_ = features_.size;
    }
    // Names go over the wire as UTF-8 whatever the answer: pyftpdlib says
    // "501 Invalid argument." and pure-ftpd "504 Unknown command" and both
    // still take UTF-8 names.
    if (features_.utf8) Exchange("OPTS UTF8 ON", reply);
}

SessionError FtpSession::Command(const std::string &line, FtpReply &reply) {
    sizeProbe_.reset();
    if (const SessionError error = EnsureInStep()) return error;
    if (const SessionError error = Exchange(line, reply)) return error;
    RememberSizeProbe(line, reply);
    if (reply.IsSuccess() || reply.IsIntermediate()) return SessionError::None;
    return SessionError::Refused;
}

void FtpSession::Close() {
    if (state_ == SessionState::Ready || state_ == SessionState::OutOfStep) control_.SendLine("QUIT", SteadyClock::now() + Milliseconds{1000});
    ChangeState(SessionState::Closed);
}

}  // namespace sapi::ftpclient
