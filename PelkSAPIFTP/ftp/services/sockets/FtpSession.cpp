#include "ftp/services/sockets/FtpSession.h"

#include "ftp/services/WinInetConstants.h"

namespace sapi::ftpclient {

using namespace sapi::wininet;

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
        if (transfer_.open && !transfer_.confirmed && transfer_.failure == ERROR_SUCCESS) {
            transfer_.failure = ERROR_INTERNET_CONNECTION_ABORTED;
        }
    }
    state_ = next;
}

uint32_t FtpSession::EnsureInStep() {
    if (transfer_.open) return ERROR_FTP_TRANSFER_IN_PROGRESS;
    switch (state_) {
    case SessionState::Ready: return ERROR_SUCCESS;
    case SessionState::OutOfStep: return Synchronise();
    case SessionState::Transferring: return ERROR_FTP_TRANSFER_IN_PROGRESS;
    case SessionState::Closed:
    case SessionState::Broken: break;
    }
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

// Puts the control connection back in step: whatever replies are still on
// their way (a 426/226 after an early close; proftpd's "226 Transfer
// complete" that comes only when the next command arrives; pure-ftpd's lone
// "150 0.005 seconds (measured here), ..." after a closed retrieval) are
// dropped up to the 200 that answers our NOOP.
uint32_t FtpSession::Synchronise() {
    control_.TakeAvailable();
    if (const uint32_t error = control_.SendLine("NOOP")) return ReplyTrouble(error);
    for (int dropped = 0; dropped < maxStaleReplies; ++dropped) {
        FtpReply reply;
        if (const uint32_t error = control_.ReadReply(reply, CurrentTimeouts().receive)) {
            ChangeState(SessionState::Broken);  // no answer to a NOOP: nothing left to trust
            return error;
        }
        if (reply.code == 421) {
            lastReply_ = reply;
            ChangeState(SessionState::Broken);
            return ERROR_INTERNET_CONNECTION_ABORTED;
        }
        if (reply.code == 200) {
            ChangeState(SessionState::Ready);
            return ERROR_SUCCESS;
        }
    }
    ChangeState(SessionState::Broken);
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

// A session in step expects nothing before its next command; a reply that
// came anyway (a late word on a transfer already settled, an idle "421
// Timeout.") must not be taken as the answer to that command.
void FtpSession::DropUnsolicited() {
    control_.TakeAvailable();
    FtpReply stale;
    while (control_.HasReply() && control_.ReadReply(stale, Milliseconds{0}) == ERROR_SUCCESS) {
        if (stale.code == 421) {
            lastReply_ = stale;
            ChangeState(SessionState::Broken);
            return;
        }
    }
}

// Sends a command and returns the first reply to it, preliminary or not.
uint32_t FtpSession::Request(const std::string &line, FtpReply &reply) {
    if (state_ == SessionState::Ready) DropUnsolicited();
    if (state_ == SessionState::Broken) return ERROR_INTERNET_CONNECTION_ABORTED;
    if (const uint32_t error = control_.SendLine(line)) return ReplyTrouble(error);
    if (const uint32_t error = control_.ReadReply(reply, CurrentTimeouts().receive)) {
        return ReplyTrouble(error);
    }
    lastReply_ = reply;
    if (reply.code == 421) ChangeState(SessionState::Broken);  // the server is closing
    return ERROR_SUCCESS;
}

// Waits past preliminary replies for the final one.
uint32_t FtpSession::AwaitFinal(FtpReply &reply, Milliseconds timeout) {
    for (int preliminary = 0; preliminary <= maxPreliminaryReplies; ++preliminary) {
        if (const uint32_t error = control_.ReadReply(reply, timeout)) return ReplyTrouble(error);
        lastReply_ = reply;
        if (reply.code == 421) ChangeState(SessionState::Broken);
        if (!reply.IsPreliminary()) return ERROR_SUCCESS;
    }
    return ReplyTrouble(ERROR_INTERNET_CONNECTION_ABORTED);
}

uint32_t FtpSession::Exchange(const std::string &line, FtpReply &reply) {
    if (const uint32_t error = Request(line, reply)) return error;
    if (!reply.IsPreliminary()) return ERROR_SUCCESS;
    return AwaitFinal(reply, CurrentTimeouts().receive);
}

// A reply that did not come: after a timeout it may still come, so the
// session is out of step; anything else ends the session.
uint32_t FtpSession::ReplyTrouble(uint32_t error) {
    ChangeState(error == ERROR_INTERNET_TIMEOUT ? SessionState::OutOfStep : SessionState::Broken);
    return error;
}

uint32_t FtpSession::Refused(const FtpReply &reply) {
    lastReply_ = reply;
    return ERROR_INTERNET_EXTENDED_ERROR;
}

uint32_t FtpSession::Login(const std::string &host, uint16_t port, const std::string &user,
                           const std::string &password) {
    ChangeState(SessionState::Closed);
    if (const uint32_t error = control_.Connect(host, port)) return error;
    ChangeState(SessionState::Ready);
    FtpReply greeting;
    if (const uint32_t error = AwaitFinal(greeting, CurrentTimeouts().receive)) {
        ChangeState(SessionState::Closed);
        return error;
    }
    uint32_t error = greeting.IsSuccess() ? LogIn(user, password) : Refused(greeting);
    if (error != ERROR_SUCCESS) {
        ChangeState(SessionState::Closed);
        return error;
    }
    const FtpReply loginReply = lastReply_;
    LearnFeatures();
    FtpReply reply;
    error = Exchange("TYPE I", reply);  // kept for the whole session: SIZE needs it on some servers
    if (error != ERROR_SUCCESS) return error;
    lastReply_ = loginReply;
    return state_ == SessionState::Ready ? ERROR_SUCCESS : ERROR_INTERNET_CONNECTION_ABORTED;
}

uint32_t FtpSession::LogIn(const std::string &user, const std::string &password) {
    FtpReply reply;
    if (const uint32_t error = Exchange("USER " + (user.empty() ? std::string("anonymous") : user), reply)) {
        return error;
    }
    if (reply.code == 331) {
        if (const uint32_t error = Exchange("PASS " + password, reply)) return error;
    }
    if (reply.IsSuccess()) return ERROR_SUCCESS;
    lastReply_ = reply;
    return ERROR_INTERNET_INCORRECT_PASSWORD;
}

void FtpSession::LearnFeatures() {
    FtpReply reply;
    if (Exchange("FEAT", reply) != ERROR_SUCCESS) return;
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

uint32_t FtpSession::Command(const std::string &line, FtpReply &reply) {
    if (const uint32_t error = EnsureInStep()) return error;
    if (const uint32_t error = Exchange(line, reply)) return error;
    if (reply.IsSuccess() || reply.IsIntermediate()) return ERROR_SUCCESS;
    return ERROR_INTERNET_EXTENDED_ERROR;
}

void FtpSession::Close() {
    if (state_ == SessionState::Ready || state_ == SessionState::OutOfStep) control_.SendLine("QUIT");
    ChangeState(SessionState::Closed);
}

}  // namespace sapi::ftpclient
