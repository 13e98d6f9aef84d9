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

namespace {

std::string Where(const std::string &host, uint16_t port) { return host + " port " + std::to_string(port); }

}  // namespace

// Commands the session composes itself are named whole ("PROT P"); the others
// by their verb, so that no name or password reaches a reason.
std::string CommandAsNamed(std::string_view line) {
    const std::string_view verb = VerbOf(line);
    for (std::string_view whole : {"AUTH", "PBSZ", "PROT", "TYPE", "OPTS"}) {
        if (verb == whole) return std::string(line);
    }
    return std::string(verb);
}

std::string ConnectReason(SessionError error, const std::string &host, uint16_t port) {
    switch (error.What()) {
    case SessionError::NameNotResolved: return host + " does not resolve";
    case SessionError::TimedOut:
        return "no connection to " + Where(host, port) + " within " + SecondsText(CurrentTimeouts().connect);
    default: return "no connection to " + Where(host, port) + ": refused or unreachable";
    }
}

SessionError FtpSession::Failed(SessionError error, std::string reason) {
    if (reason_.empty()) reason_ = reason.empty() ? ReasonFor(error) : std::move(reason);
    return error;
}

std::string FtpSession::ReasonFor(SessionError error) const {
    const std::string reply = lastReply_.lines.empty() ? std::string() : lastReply_.lines.front();
    const std::string wait = SecondsText(CurrentTimeouts().receive);
    switch (error.What()) {
    case SessionError::TimedOut:
        if (!lastCommand_.empty()) return "no answer to " + lastCommand_ + " within " + wait;
        return "no greeting within " + wait +
               (tlsSettings_.mode == TlsMode::Implicit ? "" : " (is this an implicit FTPS port? try ftps://)");
    case SessionError::ConnectionLost:
    case SessionError::Unusable:
        if (control_.ReplyOverflowed()) return "the server's answer to " + lastCommand_ + " went past every limit";
        if (lastCommand_.empty()) return "the server closed the connection before its greeting";
        return "the server closed the connection after " + lastCommand_;
    case SessionError::Refused:
        if (lastCommand_.empty()) return "the server turned the connection away: " + reply;
        return "the server refused " + lastCommand_ + ": " + reply;
    case SessionError::LoginRefused: return reply;
    case SessionError::NotSecure: return tlsCheck_.reason;
    default: return Describe(error);
    }
}

}  // namespace sapi::ftpclient
