#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {
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
    lastCommand_ = CommandAsNamed(line);
    if (const SessionError error = control_.SendLine(line, DeadlineAfter(CurrentTimeouts().send))) {
        return ReplyTrouble(error);
    }
    return SessionError::None;
}

// The answer to the command in flight. A session in step has nothing else
// on its way (whatever was late came before the command and was dropped), so
// the next complete reply is the answer, whatever its code, and is judged by
// its first digit: a "314" to CWD fails it at once, a "200" to USER logs in,
// a "999" is a refusal. Waiting past it for a code the command "should" get
// would only run into the deadline with the server long done.
SessionError FtpSession::NextAnswer(FtpReply &reply, Deadline deadline) {
    if (const SessionError error = control_.ReadReply(reply, deadline)) return ReplyTrouble(error);
    if (matcher_.Offer(reply) == ReplyFit::Stray) {
        trace_.Note("not a reply " + std::string(matcher_.Verb()) + " takes; taken as its answer");
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

// Sends a command and returns the first reply to it, preliminary or not.
SessionError FtpSession::Request(const std::string &line, FtpReply &reply) {
    if (state_ == SessionState::OutOfStep) {
        if (const SessionError error = Resynchronise()) return error;
    }
    if (state_ == SessionState::Ready) DropUnsolicited();
    if (const SessionError error = Send(line)) return error;
    matcher_.Expect(line);
    return NextAnswer(reply, DeadlineAfter(CurrentTimeouts().receive));
}

// Waits past preliminary replies for the final one.
SessionError FtpSession::AwaitFinal(FtpReply &reply, Deadline deadline) {
    for (int preliminary = 0; preliminary <= maxPreliminaryReplies; ++preliminary) {
        if (const SessionError error = NextAnswer(reply, deadline)) return error;
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
    return Failed(error);
}

SessionError FtpSession::Refused(const FtpReply &reply) {
    lastReply_ = reply;
    return SessionError::Refused;
}

SessionError FtpSession::Login(const std::string &host, uint16_t port, const std::string &user,
                           const std::string &password) {
    ChangeState(SessionState::Closed);
    reason_.clear();
    lastCommand_.clear();
    // A session that asked for TLS and did not get it ends here, closed
    // without another word: never a login in clear text.
    SessionError error = Connect(host, port);
    if (!error) error = Greet();
    if (!error) error = SecureControl();
    if (!error) error = LogIn(user, password);
    if (!error) error = ProtectData();
    if (error) {
        ChangeState(SessionState::Closed);
        return Failed(error);
    }
    const FtpReply loginReply = lastReply_;
    LearnFeatures();
    FtpReply reply;
    // Kept for the whole session: SIZE needs it on some servers, and a server
    // that stays in ASCII mode would change the bytes of every file.
    error = Exchange("TYPE I", reply);
    if (!error && !reply.IsSuccess()) error = Refused(reply);
    if (!error && state_ != SessionState::Ready) error = SessionError::ConnectionLost;
    if (error) {
        ChangeState(SessionState::Closed);
        return Failed(error);
    }
    lastReply_ = loginReply;
    return SessionError::None;
}

SessionError FtpSession::Connect(const std::string &host, uint16_t port) {
    host_ = host;
    port_ = port;
    trace_.Open();
    trace_.Note("connecting to " + host + " port " + std::to_string(port));
    const SessionError error = control_.Connect(host, port, DeadlineAfter(CurrentTimeouts().connect));
    if (error) {
        trace_.Note(std::string("connect failed: ") + Describe(error));
        return Failed(error, ConnectReason(error, host, port));
    }
    ChangeState(SessionState::Ready);
    // Implicit TLS: even the greeting comes encrypted.
    return tlsSettings_.mode == TlsMode::Implicit ? StartTls() : SessionError::None;
}

SessionError FtpSession::Greet() {
    FtpReply greeting;
    matcher_.Expect("");  // the greeting: whatever the server says first
    if (const SessionError error = AwaitFinal(greeting, DeadlineAfter(CurrentTimeouts().receive))) return error;
    return greeting.IsSuccess() ? SessionError::None : Refused(greeting);
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
    // A 3xx goes on only where the command takes it ("350" to a host's REST);
    // "314" to CWD is no folder entered.
    const bool goesOn = reply.IsIntermediate() && FitOf(line, reply.code) == ReplyFit::Answer;
    return reply.IsSuccess() || goesOn ? SessionError::None : SessionError::Refused;
}

void FtpSession::Close() {
    if (state_ == SessionState::Ready || state_ == SessionState::OutOfStep) {
        trace_.Command("QUIT");
        control_.SendLine("QUIT", SteadyClock::now() + Milliseconds{1000});
    }
    ChangeState(SessionState::Closed);
}

}  // namespace sapi::ftpclient
