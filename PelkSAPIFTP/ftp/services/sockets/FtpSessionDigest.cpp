// Verified transfers, for a host that asked for them. A size that matches
// says little about a file made of bytes from two sessions, or that passed a
// bad link; many servers can hash a file themselves. The bytes are hashed as
// they pass, and once the server has confirmed the transfer it is asked for
// its digest of the whole file and the two are compared. The server reads the
// whole file to answer, so the wait grows with the size.
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

constexpr uint64_t bytesPerExtraSecond = 100ull << 20;
constexpr const char *noneOffered = "the server offers no digest (no HASH or X commands in its FEAT)";

}  // namespace

// A store that must be verified on a server that offers no digest is refused
// before STOR: the remote file is left as it was.
SessionError FtpSession::StartDigest(const std::string &name, bool retrieve) {
    verification_.clear();
    verified_.reset();
    digest_.reset();
    digestBytes_ = 0;
    resumeNeedsDigest_ = false;
    checking_ = verifyMode_ != VerifyMode::Off;
    if (!checking_) return SessionError::None;
    digestName_ = name;
    storing_ = !retrieve;
    digestRequest_ = ChooseDigest(features_);
    if (digestRequest_) {
        digest_ = std::make_unique<RunningDigest>(digestRequest_->algorithm);
        return SessionError::None;
    }
    if (retrieve || verifyMode_ != VerifyMode::Required) return SessionError::None;
    checking_ = false;
    return Unverified(noneOffered);
}

SessionError FtpSession::VerifyTransfer() {
    checking_ = false;
    if (!digest_) return Unverified(noneOffered);
    const std::string algorithm = NameOf(digestRequest_->algorithm);
    FtpReply reply;
    if (const SessionError error = AskDigest(reply)) {
        return Unverified("no answer to " + digestRequest_->verb + ": " + Describe(error));
    }
    if (!reply.IsSuccess()) return Unverified("the server refused " + channel_.LastCommand() + ": " + reply.lines.front());
    const std::optional<std::string> theirs = DigestIn(reply, *digestRequest_);
    if (!theirs) return Unverified("no " + algorithm + " digest in the answer: " + reply.lines.back());
    const std::string ours = digest_->Finish();
    if (*theirs != ours) {
        verification_ = "the server's " + algorithm + " of the file differs from the bytes " +
                        (storing_ ? "sent" : "received");
        trace_.Note(verification_ + ": " + ours);
        return SessionError::DigestMismatch;
    }
    verification_ = "verified (" + algorithm + ")";
    trace_.Note(verification_);
    return SessionError::None;
}

// HASH takes the algorithm the server has chosen; "OPTS HASH SHA-256"
// chooses another, for the session: asked of the session as it is now, which
// after a reconnect is a new one with the server's own choice again.
SessionError FtpSession::AskDigest(FtpReply &reply) {
    const DigestAlgorithm algorithm = digestRequest_->algorithm;
    if (digestRequest_->verb == "HASH" && !IsCurrentHash(features_, algorithm)) {
        const std::string line = std::string("OPTS HASH ") + NameOf(algorithm);
        if (const SessionError error = channel_.AskFinal(line, reply)) return error;
        if (!reply.IsSuccess()) return SessionError::None;
        features_.hash = NameOf(algorithm) + std::string("*");  // the server's choice from now on
    }
    return channel_.AskFinal(digestRequest_->verb + " " + digestName_, reply, DigestWait());
}

// Mode 1 lets the transfer pass and says so in the trace; mode 2 fails it,
// and so does a retrieval resumed on the strength of the digest.
SessionError FtpSession::Unverified(const std::string &reason) {
    verification_ = "not verified: " + reason;
    trace_.Note(verification_);
    const bool required = verifyMode_ == VerifyMode::Required || resumeNeedsDigest_;
    return required ? SessionError::NoDigest : SessionError::None;
}

// The usual wait, and a second more for every 100 MiB the server must read.
Milliseconds FtpSession::DigestWait() const {
    return timeouts_.receive + Milliseconds{1000 * static_cast<int64_t>(digestBytes_ / bytesPerExtraSecond)};
}

}  // namespace sapi::ftpclient
