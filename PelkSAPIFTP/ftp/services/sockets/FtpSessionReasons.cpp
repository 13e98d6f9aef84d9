// Why a session failed, in the terms of the person who set it up: the step
// that failed, what the server said to it, and how long we waited. The host
// has no other way to learn the difference between a wrong password, a closed
// port and a name that does not resolve.
#include <cstdio>

#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

std::string SecondsText(Milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000.0);
    return text;
}

SessionError FtpSession::LoginFailed(SessionError error) {
    channel_.Close();
    if (reason_.empty()) reason_ = ReasonFor(error);
    return error;
}

std::string FtpSession::FailureReason() const {
    if (!reason_.empty()) return reason_;
    return channel_.State() == ChannelState::Broken ? ReasonFor(channel_.BrokenBy()) : std::string();
}

SessionOutcome FtpSession::Outcome(SessionError error) const {
    SessionOutcome outcome{error, LastReply(), {}, nullptr};
    // A session that went away has no reply to show, or an old one.
    if (IsGone(error)) outcome.reason = FailureReason();
    // A transfer that failed its check: why, in place of the digest reply.
    if (error == SessionError::DigestMismatch || error == SessionError::NoDigest) outcome.reason = Verification();
    if (error == SessionError::NotSecure) outcome.tls = &tlsCheck_;
    if (error == SessionError::FolderLost || error == SessionError::NotResumed || error == SessionError::NotFollowed) {
        outcome.reason = recoveryFailure_;
    }
    if (error == SessionError::OutOfStep) outcome.reason = stepReason_;
    return outcome;
}

// The connection itself failed: no reply, no command yet.
std::string FtpSession::ConnectReason(SessionError error) const {
    const std::string where = host_ + " port " + std::to_string(port_);
    switch (error.What()) {
    case SessionError::NameNotResolved: return host_ + " does not resolve";
    case SessionError::TimedOut: return "no connection to " + where + " within " + SecondsText(timeouts_.connect);
    default: return "no connection to " + where + ": refused or unreachable";
    }
}

std::string FtpSession::ReasonFor(SessionError error) const {
    const std::string &command = channel_.LastCommand();
    const FtpReply &last = channel_.LastReply();
    const std::string reply = last.lines.empty() ? std::string() : last.lines.front();
    const std::string wait = SecondsText(timeouts_.receive);
    switch (error.What()) {
    case SessionError::TimedOut:
        if (!command.empty()) return "no answer to " + command + " within " + wait;
        return "no greeting within " + wait +
               (tlsSettings_.mode == TlsMode::Implicit ? "" : " (is this an implicit FTPS port? try ftps://)");
    case SessionError::ConnectionLost:
    case SessionError::Unusable:
        if (channel_.ReplyOverflowed()) return "the server's answer to " + command + " went past every limit";
        if (command.empty()) return "the server closed the connection before its greeting";
        return "the server closed the connection during " + command;
    case SessionError::Refused:
        if (command.empty()) return "the server turned the connection away: " + reply;
        return "the server refused " + command + ": " + reply;
    case SessionError::LoginRefused: return reply;
    case SessionError::NotSecure: return tlsCheck_.reason;
    default: return Describe(error);
    }
}

}  // namespace sapi::ftpclient
