// Following a file still being written, for a host that asked for it: a
// recorder ingesting a clip, a camera uploading, an export in progress. A
// retrieval ends where the server ends it, at the size the file had when it
// began; here, at that confirmed end, the server is asked again (SIZE and
// MDTM in one flight, once a second), and what was added is fetched from the
// byte after the last one delivered (REST, RETR) into the same stream, until
// the size has stayed the same for the quiet the host chose. Nothing is asked
// while data flows.
//
// Only growth is followed: a size below one seen before, or below what was
// delivered, or a time earlier than one seen before, is not the file the
// stream began with, and the call fails. Where the host asked for
// verification, the digest at the end covers every round's bytes.
#include <chrono>
#include <utility>

#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

constexpr Milliseconds probeEvery{1000};

}  // namespace

void FtpSession::StartFollowing(const std::string &name, std::optional<uint64_t> size, const std::string &modified) {
    growth_.reset();
    if (followQuiet_ == 0) return;
    growth_.emplace();
    growth_->name = name;
    growth_->size = size;
    growth_->modified = modified;
}

// Returns with the first bytes of a round, or with none once the quiet has
// lasted (the end of the stream), or with the reason the file is not followed.
SessionError FtpSession::Follow(void *buffer, uint32_t size, uint32_t &received) {
    Growth &growth = *growth_;
    if (growth.end) return *growth.end;
    if (!useSize_) {
        growth.end = SessionError::None;
        trace_.Note("not followed: the server answers no SIZE");
        return SessionError::None;
    }
    if (growth.delivered != growth.quietFrom || growth.quietEnds == Deadline{}) {
        growth.quietFrom = growth.delivered;
        growth.quietEnds = DeadlineAfter(std::chrono::seconds(followQuiet_));
    }
    for (;;) {
        if (stopped_ || Cancelled()) return SessionError::ConnectionLost;
        FtpReply reply;
        ProbeRetrieval(growth.name, useSize_, false, reply);
        const SizeProbe probe = *std::exchange(sizeProbe_, std::nullopt);
        if (channel_.State() == ChannelState::Broken || channel_.State() == ChannelState::Closed) {
            return SessionError::ConnectionLost;
        }
        if (const SessionError changed = ProveGrowthOnly(probe)) return changed;
        const bool grown = *probe.size > growth.delivered;
        if (grown) {
            if (const SessionError error = FetchGrowth(*probe.size)) return error;
            const SessionError error = ReadPiece(buffer, size, received);
            if (error || received > 0) return error;
        }
        // A size that says more than the data brings is no growth: it waits
        // as silence does, and ends the stream short if it lasts.
        if (grown && Passed(growth.quietEnds)) {
            return NotFollowed("not followed: the server says " + std::to_string(*probe.size) +
                               " bytes but sends none past " + std::to_string(growth.delivered));
        }
        if (!grown && Passed(growth.quietEnds)) {
            growth.end = SessionError::None;
            trace_.Note("followed to the end: " + std::to_string(growth.delivered) + " bytes, the same for " +
                        std::to_string(followQuiet_) + " s");
            return SessionError::None;
        }
        PauseUnlessCancelled(std::min(probeEvery, TimeLeft(growth.quietEnds) + Milliseconds{1}));
    }
}

// The file must only have grown since it was last seen; its size and time
// then become the ones it is held to.
SessionError FtpSession::ProveGrowthOnly(const SizeProbe &probe) {
    Growth &growth = *growth_;
    if (!probe.size) {
        const std::string said = LastReply().lines.empty() ? std::string("no answer") : LastReply().lines.front();
        return NotFollowed("not followed: the size of " + growth.name + " cannot be had: " + said);
    }
    const uint64_t now = *probe.size;
    if (now < growth.delivered || (growth.size && now < *growth.size)) {
        return NotFollowed("not followed: the file shrank to " + std::to_string(now) + " bytes after " +
                           std::to_string(growth.delivered) + " were delivered");
    }
    const std::string modified = probe.modified ? *probe.modified : std::string();
    if (!modified.empty() && !growth.modified.empty() && modified < growth.modified) {
        return NotFollowed("not followed: the file's time went back from " + growth.modified + " to " + modified);
    }
    growth.size = now;
    if (!modified.empty()) growth.modified = modified;
    return SessionError::None;
}

// The next round: the rest of the file from the byte after the last one
// delivered. A resume within it needs the file as it is now.
SessionError FtpSession::FetchGrowth(uint64_t grownTo) {
    const Growth &growth = *growth_;
    trace_.Note("grown to " + std::to_string(grownTo) + ", fetching from " + std::to_string(growth.delivered));
    transfer_->End();
    auto transfer = std::make_unique<FtpTransfer>(channel_, connector_, trace_, timeouts_, true);
    if (const SessionError error = transfer->Start(growth.name, grownTo, growth.delivered)) return error;
    transfer_ = std::move(transfer);
    if (retrieval_) {
        retrieval_->size = grownTo;
        retrieval_->modified = growth.modified;
    }
    return SessionError::None;
}

SessionError FtpSession::NotFollowed(const std::string &reason) {
    growth_->end = SessionError::NotFollowed;
    return RecoveryFailed(SessionError::NotFollowed, reason);
}

}  // namespace sapi::ftpclient
