// Recovery, for a host that asked for it: servers end idle sessions (vsftpd
// after 300 s, "421 Timeout."), NAT boxes forget quiet flows, links drop in
// the middle of a file. A call that finds its session gone opens it again,
// with the same settings and no weaker trust, goes back to the folder it was
// in and runs once more; a retrieval cut short goes on from the byte it
// stopped at, on the same file or not at all.
#include <utility>

#include "ftp/protocol/QuotedPath.h"
#include "ftp/services/sockets/FtpSession.h"
#include "ftp/services/sockets/CancelWatch.h"

namespace sapi::ftpclient {

namespace {

constexpr int maxReconnects = 3;

}  // namespace

// A session its host stopped stays down.
bool FtpSession::CanRecover(SessionError error) const { return recover_ && !stopped_ && IsGone(error); }

// The call runs; if the session turned out to be gone (an idle server's
// "421", a connection reset), it runs once more on a new one. What was sent
// before the loss may have been done: the calls that come here (folder
// changes and creation, deletes, SIZE, listings, opening a transfer) come to
// the same end when done twice.
SessionError FtpSession::Recovering(const std::function<SessionError()> &call) {
    const SessionError error = call();
    // "421 Timeout." may come as the answer to the command, not before it.
    const bool closing = error == SessionError::Refused && LastReply().code == 421;
    if (!(CanRecover(error) || (recover_ && !stopped_ && closing)) || channel_.State() != ChannelState::Broken) return error;
    if (const SessionError failed = Reconnect()) return failed;
    return call();
}

// Up to three logins, the second a second after the first, the third two
// seconds after that. A server that refuses the login or a certificate now
// refused ends it at once: trying again cannot change its mind.
SessionError FtpSession::Reconnect() {
    const FtpReply &last = channel_.LastReply();
    const std::string why = last.code == 421 && !last.lines.empty() ? last.lines.front() : FailureReason();
    SessionError error = SessionError::ConnectionLost;
    for (int attempt = 0; attempt < maxReconnects; ++attempt) {
        if (attempt > 0) PauseUnlessCancelled(timeouts_.reconnectPause * attempt);
        if (stopped_) return SessionError::ConnectionLost;
        trace_.Note("reconnecting (" + std::to_string(attempt + 1) + "/" + std::to_string(maxReconnects) + "): " + why);
        error = Login(host_, port_, user_, password_);
        if (!error && folder_) {
            loginFolder_.reset();
            FtpReply reply;
            error = channel_.AskFinal("CWD " + *folder_, reply);
            if (!error && !reply.IsSuccess()) error = SessionError::Refused;
        }
        if (!error || !IsGone(error)) return error;
    }
    return error;
}

// The retrieval under way failed: on a session that works (the same one if
// only the data connection broke), the same file, from the byte after the
// last one handed out. A file whose size or time changed is another file:
// never one made of two versions.
SessionError FtpSession::Resume() {
    Retrieval &retrieval = *retrieval_;
    retrieval.resumed = true;
    transfer_->End();
    for (int reconnects = 0;;) {
        if (channel_.State() == ChannelState::Broken) {
            if (reconnects++ > 0) return SessionError::ConnectionLost;
            if (const SessionError error = Reconnect()) return error;
        }
        FtpReply reply;
        ProbeRetrieval(retrieval.name, useSize_, true, reply);
        const SizeProbe probe = *std::exchange(sizeProbe_, std::nullopt);
        const std::optional<uint64_t> size = probe.size;
        std::string modified;
        if (!retrieval.modified.empty()) modified = probe.modified ? *probe.modified : ModifiedTime(retrieval.name);
        if (channel_.State() == ChannelState::Broken) continue;
        if (!retrieval.size || size != retrieval.size || modified != retrieval.modified) {
            trace_.Note("not resumed: the file changed or its size is unknown");
            return SessionError::ConnectionLost;
        }
        auto transfer = std::make_unique<FtpTransfer>(channel_, connector_, trace_, timeouts_, true);
        const SessionError error = transfer->Start(retrieval.name, size, retrieval.delivered);
        if (!error) {
            transfer_ = std::move(transfer);
            return SessionError::None;
        }
        if (!IsGone(error) || channel_.State() != ChannelState::Broken) return error;
    }
}

// Where the session is, as an absolute path a new session can go back to:
// PWD's answer, or a CWD's argument on top of what was known.
void FtpSession::FollowFolder(const std::string &line, const FtpReply &reply) {
    const std::string_view verb = VerbOf(line);
    if (verb == "PWD" && reply.code == 257) {
        folder_ = ParseQuotedPath(reply.FirstLineMessage());
    } else if (verb == "CWD" && reply.IsSuccess() && line.size() > 4) {
        const std::string argument = line.substr(4);
        if (argument.front() == '/') {
            folder_ = argument;
        } else if (folder_) {
            folder_ = (folder_->back() == '/' ? *folder_ : *folder_ + "/") + argument;
        }
    }
}

}  // namespace sapi::ftpclient
