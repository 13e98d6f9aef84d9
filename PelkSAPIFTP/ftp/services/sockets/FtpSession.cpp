#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {
// Replies skipped as strays while waiting for one answer before the session
// is given up: no server sends that many by mistake.
constexpr int maxStrayReplies = 32;
// Preliminary replies (1xx) accepted before a final one.
constexpr int maxPreliminaryReplies = 16;
// Lines whose argument the session composes itself, short and plain.
bool OwnLine(std::string_view verb) {
    return verb == "EPRT" || verb == "PORT" || verb == "OPTS" || verb == "TYPE";
}

}  // namespace

FtpSession::~FtpSession() { Close(); }

void FtpSession::ChangeState(SessionState next) {
    if (next == SessionState::Closed || next == SessionState::Broken) {
        control_.Close();
        transfer_.channel = DataChannel{};
        abortDue_ = false;
        if (transfer_.open && !transfer_.confirmed && transfer_.failure == SessionError::None) {
            transfer_.failure = SessionError::ConnectionLost;
        }
    }
    if (next != state_ && (next == SessionState::OutOfStep || next == SessionState::Broken)) {
        trace_.Note(next == SessionState::Broken ? "control connection given up" : "out of step");
    }
    state_ = next;
}

SessionError FtpSession::EnsureInStep() {
    if (transfer_.open) return SessionError::TransferInProgress;
    switch (state_) {
    case SessionState::Ready: return SessionError::None;
    case SessionState::OutOfStep: return Resynchronise();
    case SessionState::Transferring: return SessionError::TransferInProgress;
    case SessionState::Closed: return SessionError::ConnectionLost;
    case SessionState::Broken: break;
    }
    return SessionError::Unusable;
}

// A session in step expects nothing before its next command; a reply that
// came anyway (a late word on a transfer already settled, an idle "421
// Timeout.") must not be taken as the answer to that command.
void FtpSession::DropUnsolicited() {
    control_.TakeAvailable();
    FtpReply stale;
    while (control_.HasReply() && !control_.ReadReply(stale, SteadyClock::now())) {
        trace_.Stray(stale, "nothing");
        if (stale.code == 421) {
            lastReply_ = stale;
            ChangeState(SessionState::Broken);
            return;
        }
    }
}

SessionError FtpSession::Send(const std::string &line) {
    if (state_ == SessionState::Broken) return SessionError::Unusable;
    if (state_ == SessionState::Closed) return SessionError::ConnectionLost;
    trace_.Command(line);
    if (const SessionError error = control_.SendLine(line, DeadlineAfter(CurrentTimeouts().send))) {
        return ReplyTrouble(error);
    }
    return SessionError::None;
}

// The next reply that can belong to the command in flight; strays are traced
// and skipped.
SessionError FtpSession::NextFitting(FtpReply &reply, Deadline deadline) {
    for (int strays = 0; strays <= maxStrayReplies; ++strays) {
        if (const SessionError error = control_.ReadReply(reply, deadline)) return ReplyTrouble(error);
        const ReplyFit fit = matcher_.Offer(reply);
        if (fit == ReplyFit::Stray) {
            trace_.Stray(reply, matcher_.Verb());
            continue;
        }
        trace_.Reply(reply);
        lastReply_ = reply;
        if (reply.code == 421) ChangeState(SessionState::Broken);  // the server is closing
        // pyftpdlib to a long name: "500 Command too long." and then
        // '500 Command "" not understood.'. A server that did not read a line
        // with an argument as one command may answer it more than once, so
        // the next command starts from a marker. (A bare verb it does not
        // know, like MLSD to vsftpd, is one line to any server.)
        if (reply.code == 500 && matcher_.HasArgument() && !OwnLine(matcher_.Verb()) &&
            state_ == SessionState::Ready) {
            ChangeState(SessionState::OutOfStep);
        }
        return SessionError::None;
    }
    return ReplyTrouble(SessionError::ConnectionLost);
}

// Sends a command and returns the first reply to it, preliminary or not.
SessionError FtpSession::Request(const std::string &line, FtpReply &reply) {
    if (state_ == SessionState::OutOfStep) {
        if (const SessionError error = Resynchronise()) return error;
    }
    if (state_ == SessionState::Ready) DropUnsolicited();
    if (const SessionError error = Send(line)) return error;
    matcher_.Expect(line);
    return NextFitting(reply, DeadlineAfter(CurrentTimeouts().receive));
}

// Waits past preliminary replies for the final one.
SessionError FtpSession::AwaitFinal(FtpReply &reply, Deadline deadline) {
    for (int preliminary = 0; preliminary <= maxPreliminaryReplies; ++preliminary) {
        if (const SessionError error = NextFitting(reply, deadline)) return error;
        if (!reply.IsPreliminary()) return SessionError::None;
    }
    return ReplyTrouble(SessionError::ConnectionLost);
}

SessionError FtpSession::Exchange(const std::string &line, FtpReply &reply) {
    if (const SessionError error = Request(line, reply)) return error;
    if (!reply.IsPreliminary()) return SessionError::None;
    return AwaitFinal(reply, DeadlineAfter(CurrentTimeouts().receive));
}

// A reply that did not come in time may still come, or never: either way
// nothing said on this connection can be trusted to line up any more, and
// waiting again would only stretch the call. The session is given up; the
// next call fails at once.
SessionError FtpSession::ReplyTrouble(SessionError error) {
    ChangeState(SessionState::Broken);
    return error;
}

SessionError FtpSession::Refused(const FtpReply &reply) {
    lastReply_ = reply;
    return SessionError::Refused;
}

SessionError FtpSession::Login(const std::string &host, uint16_t port, const std::string &user,
                           const std::string &password) {
    ChangeState(SessionState::Closed);
    host_ = host;
    trace_.Open();
    trace_.Note("connecting to " + host + " port " + std::to_string(port));
    if (const SessionError error = control_.Connect(host, port, DeadlineAfter(CurrentTimeouts().connect))) {
        trace_.Note(std::string("connect failed: ") + Describe(error));
        return error;
    }
    ChangeState(SessionState::Ready);
    // Implicit TLS: even the greeting comes encrypted.
    if (tlsSettings_.mode == TlsMode::Implicit) {
        if (const SessionError error = StartTls()) {
            ChangeState(SessionState::Closed);
            return error;
        }
    }
    FtpReply greeting;
    matcher_.Expect("");  // the greeting: whatever the server says first
    if (const SessionError error = AwaitFinal(greeting, DeadlineAfter(CurrentTimeouts().receive))) {
        ChangeState(SessionState::Closed);
        return error;
    }
    // A session that asked for TLS and did not get it ends here, closed
    // without another word: never a login in clear text.
    SessionError error = greeting.IsSuccess() ? SecureControl() : Refused(greeting);
    if (!error) error = LogIn(user, password);
    if (!error) error = ProtectData();
    if (error != SessionError::None) {
        ChangeState(SessionState::Closed);
        return error;
    }
    const FtpReply loginReply = lastReply_;
    LearnFeatures();
    FtpReply reply;
    // Kept for the whole session: SIZE needs it on some servers, and a server
    // that stays in ASCII mode would change the bytes of every file.
    error = Exchange("TYPE I", reply);
    if (!error && !reply.IsSuccess()) error = Refused(reply);
    if (error) {
        ChangeState(SessionState::Closed);
        return error;
    }
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
    // An ABOR brings the session back in step itself; no marker before it.
    const bool abort = VerbOf(line) == "ABOR";
    const bool stepsItself = abort && state_ == SessionState::OutOfStep && !transfer_.open;
    if (!stepsItself) {
        if (const SessionError error = EnsureInStep()) return error;
    }
    if (abort) return Abort(reply);
    if (const SessionError error = Exchange(line, reply)) return error;
    RememberSizeProbe(line, reply);
    if (reply.IsSuccess() || reply.IsIntermediate()) return SessionError::None;
    return SessionError::Refused;
}

void FtpSession::Close() {
    if (state_ == SessionState::Ready || state_ == SessionState::OutOfStep) {
        trace_.Command("QUIT");
        control_.SendLine("QUIT", SteadyClock::now() + Milliseconds{1000});
    }
    ChangeState(SessionState::Closed);
}

}  // namespace sapi::ftpclient
