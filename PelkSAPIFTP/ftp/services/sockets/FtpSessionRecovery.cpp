// Recovery, for a host that asked for it: servers end idle sessions (vsftpd
// after 300 s, "421 Timeout."), NAT boxes forget quiet flows, links drop in
// the middle of a file. Everything recovery does is decided here, and it
// keeps three promises whatever the server does:
//   the folder   nothing that depends on the folder runs anywhere but in the
//                one the host chose; a new session that cannot enter it
//                fails the call, and every later one, until the host moves
//                to a folder by its absolute path;
//   one version  a retrieval goes on from where it was cut only with proof
//                that the file is the one its first bytes came from;
//   an end       one host call spends at most three logins and three
//                resumes, and reconnects only on evidence that the session
//                is gone (closed, reset, "421"), never after a wait ran out:
//                silence costs one wait, not one per attempt.
#include <utility>

#include "base/HostCall.h"
#include "ftp/protocol/QuotedPath.h"
#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

constexpr int loginsPerCall = 3;
constexpr int resumesPerCall = 3;

// A new session is worth another try after these; a refused login, a
// certificate now refused or a server that stays silent will say the same
// again.
bool WorthAnotherLogin(SessionError error) {
    return error == SessionError::CannotConnect || error == SessionError::ConnectionLost ||
           error == SessionError::Unusable;
}

bool EntersAbsoluteFolder(std::string_view line) { return VerbOf(line) == "CWD" && line.size() > 4 && line[4] == '/'; }

}  // namespace

// The budget is the host's call's: a callback's calls into the module, and
// every step of a download, spend from the same one. Steps made outside any
// host call (the client's own tests) each start afresh.
void FtpSession::BeginCall() {
    const uint64_t call = CurrentHostCall();
    if (call != 0 && call == budgetCall_) return;
    budgetCall_ = call;
    loginsLeft_ = loginsPerCall;
    resumesLeft_ = resumesPerCall;
    callTimedOut_ = false;
}

// What a failure comes to: the one place that says it.
FtpSession::Recovery FtpSession::Decide(SessionError error) const {
    if (!error || !recover_ || stopped_ || Cancelled() || callTimedOut_) return Recovery::Fail;
    if (transfer_ && retrieval_) return transfer_->Cut() && resumesLeft_ > 0 ? Recovery::Resume : Recovery::Fail;
    // "421 Timeout." may come as the answer to the command, not before it.
    const bool closing = error == SessionError::Refused && LastReply().code == 421;
    const bool down = channel_.State() == ChannelState::Broken || channel_.State() == ChannelState::Closed;
    return down && (closing || WorthAnotherLogin(error)) ? Recovery::Reconnect : Recovery::Fail;
}

// A store cannot be resumed: the server may have taken a part we cannot
// name. Its caller, if it holds the file whole, sends it again from the
// start, on a new session within the same call's budget.
bool FtpSession::MaySendAgain() const {
    return storeCut_ && recover_ && !stopped_ && !Cancelled() && !callTimedOut_ && loginsLeft_ > 0;
}

// The call runs in the host's folder; if the session turned out to be gone,
// it runs once more on a new one, in that folder again. What was sent before
// the loss may have been done: the calls that come here (folder changes and
// creation, deletes, SIZE, listings, opening a transfer) come to the same end
// when done twice.
SessionError FtpSession::Recovering(const std::function<SessionError()> &call, bool entersAbsoluteFolder) {
    BeginCall();
    SessionError error = entersAbsoluteFolder ? SessionError::None : EnterFolder();
    if (!error) error = call();
    if (error == SessionError::TimedOut) callTimedOut_ = true;
    if (Decide(error) != Recovery::Reconnect) return error;
    if (const SessionError failed = Reconnect()) return failed;
    if (!entersAbsoluteFolder) {
        if (const SessionError failed = EnterFolder()) return failed;
    }
    return call();
}

// Logins from the call's budget: the second a second after the first, the
// third two seconds after that. A refused connect (a server restarting) is
// tried again; what cannot change its mind ends it at once.
SessionError FtpSession::Reconnect() {
    const FtpReply &last = channel_.LastReply();
    const std::string why = last.code == 421 && !last.lines.empty() ? last.lines.front() : FailureReason();
    SessionError error = SessionError::ConnectionLost;
    for (int attempt = 0; loginsLeft_ > 0; ++attempt) {
        if (attempt > 0) PauseUnlessCancelled(timeouts_.reconnectPause * attempt);
        if (stopped_ || Cancelled()) return SessionError::ConnectionLost;
        --loginsLeft_;
        trace_.Note("reconnecting (" + std::to_string(loginsPerCall - loginsLeft_) + "/" +
                    std::to_string(loginsPerCall) + "): " + why);
        error = Login(host_, port_, user_, password_);
        if (!error) {
            loginFolder_.reset();
            folderOwed_ = folder_.has_value() || folderUnknown_;
            return SessionError::None;
        }
        if (error == SessionError::TimedOut) callTimedOut_ = true;
        if (!WorthAnotherLogin(error)) return error;
    }
    return error;
}

// A new session starts in the login folder: the host's folder is entered
// before anything else, or nothing runs.
SessionError FtpSession::EnterFolder() {
    if (!folderOwed_) return SessionError::None;
    if (folderUnknown_ || !folder_) {
        return RecoveryFailed(SessionError::FolderLost,
                              "the folder the connection was in cannot be entered again: its path was never known");
    }
    FtpReply reply;
    if (const SessionError error = channel_.AskFinal("CWD " + *folder_, reply)) return error;
    if (!reply.IsSuccess()) {
        const std::string said = reply.lines.empty() ? std::to_string(reply.code) : reply.lines.front();
        return RecoveryFailed(SessionError::FolderLost, "the folder " + *folder_ + " cannot be entered again: " + said);
    }
    folderOwed_ = false;
    return SessionError::None;
}

SessionError FtpSession::RecoveryFailed(SessionError error, std::string reason) {
    trace_.Note(reason);
    recoveryFailure_ = std::move(reason);
    return error;
}

// The retrieval under way was cut: on a session that works (the same one if
// only the data connection broke), the same file, from the byte after the
// last one handed out. A failure that another round cannot mend ends the
// resumes of this call.
SessionError FtpSession::Resume() {
    --resumesLeft_;
    retrieval_->resumed = true;
    transfer_->End();
    const SessionError error = ResumeHere();
    if (error && !(WorthAnotherLogin(error) && loginsLeft_ > 0)) resumesLeft_ = 0;
    return error;
}

SessionError FtpSession::ResumeHere() {
    const Retrieval &retrieval = *retrieval_;
    const ChannelState state = channel_.State();
    if (state == ChannelState::Broken || state == ChannelState::Closed) {
        if (const SessionError error = Reconnect()) return error;
        if (const SessionError error = EnterFolder()) return error;
    }
    FtpReply reply;
    ProbeRetrieval(retrieval.name, useSize_, true, reply);
    const SizeProbe probe = *std::exchange(sizeProbe_, std::nullopt);
    if (channel_.State() == ChannelState::Broken) return SessionError::ConnectionLost;
    const std::string modified = probe.modified ? *probe.modified : ModifiedTime(retrieval.name);
    if (const SessionError unproven = ProveSameFile(probe.size, modified)) return unproven;
    auto transfer = std::make_unique<FtpTransfer>(channel_, connector_, trace_, timeouts_, true);
    if (const SessionError error = transfer->Start(retrieval.name, probe.size, retrieval.delivered)) return error;
    transfer_ = std::move(transfer);
    return SessionError::None;
}

// Only the bytes already handed on are skipped, so the file must be the one
// they came from: the same size and the same time, or a digest of the whole
// file at the end that will tell. A size alone proves nothing: a file
// replaced by another of its size would be two versions spliced.
SessionError FtpSession::ProveSameFile(std::optional<uint64_t> size, const std::string &modified) {
    const Retrieval &retrieval = *retrieval_;
    if (!retrieval.size || size != retrieval.size) {
        return RecoveryFailed(SessionError::NotResumed, retrieval.size ? "not resumed: the file's size changed"
                                                                       : "not resumed: the file's size is unknown");
    }
    if (!retrieval.modified.empty() && !modified.empty()) {
        if (modified == retrieval.modified) return SessionError::None;
        return RecoveryFailed(SessionError::NotResumed, "not resumed: the file was modified meanwhile");
    }
    if (checking_ && digest_) {
        resumeNeedsDigest_ = true;
        trace_.Note("resumed on the strength of the server's digest of the whole file at the end");
        return SessionError::None;
    }
    return RecoveryFailed(SessionError::NotResumed,
                          "not resumed: the server gives no modification time (MDTM) to show the file is unchanged");
}

// Where the session is, as an absolute path a new session can go back to:
// PWD's answer, or a CWD's argument on top of what was known.
void FtpSession::FollowFolder(const std::string &line, const FtpReply &reply) {
    const std::string_view verb = VerbOf(line);
    if (verb == "PWD" && reply.code == 257) {
        if (std::optional<std::string> path = ParseQuotedPath(reply.FirstLineMessage())) {
            folder_ = std::move(path);
            folderUnknown_ = false;
        }
        return;
    }
    if (!reply.IsSuccess()) return;
    if (verb == "CDUP" && folder_) {
        const std::size_t slash = folder_->find_last_of('/');
        folder_ = slash == 0 || slash == std::string::npos ? std::string("/") : folder_->substr(0, slash);
    } else if (verb == "CWD" && line.size() > 4) {
        const std::string argument = line.substr(4);
        if (EntersAbsoluteFolder(line)) {
            folder_ = argument;
            folderUnknown_ = folderOwed_ = false;
        } else if (folder_) {
            folder_ = (folder_->back() == '/' ? *folder_ : *folder_ + "/") + argument;
        } else {
            folderUnknown_ = true;
        }
    }
}

bool FtpSession::IsAbsoluteFolderChange(const std::string &line) { return EntersAbsoluteFolder(line); }

}  // namespace sapi::ftpclient
