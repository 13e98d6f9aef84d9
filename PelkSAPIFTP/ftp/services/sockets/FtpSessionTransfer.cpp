// Listings, retrievals and stores over a data connection.
#include <utility>

#include "ftp/services/sockets/FtpSession.h"
#include "ftp/protocol/SizeReply.h"

namespace sapi::ftpclient {

namespace {

constexpr std::size_t listingChunk = 64 * 1024;

SessionError ErrorOfTransfer(NetStatus status) {
    return status == NetStatus::Timeout ? SessionError::TimedOut : SessionError::ConnectionLost;
}

std::string WithArgument(const std::string &command, const std::string &argument) {
    return argument.empty() ? command : command + " " + argument;
}

// The server does not know the command at all (vsftpd: "500 Unknown
// command."), so it is not asked again.
bool CommandUnknown(const FtpReply &reply) { return reply.code == 500 || reply.code == 502; }

}  // namespace

SessionError FtpSession::List(const std::string &path, CompactListing &entries) {
    const SessionError error = ListEntries(path, entries);
    if (error != SessionError::None || entries.Count() > 0 || listingLinesDropped_ == 0) return error;
    return ListNames(path, entries);
}

SessionError FtpSession::ListEntries(const std::string &path, CompactListing &entries) {
    sizeProbe_.reset();
    if (const SessionError error = EnsureInStep()) return error;
    if (useMlsd_) {
        const SessionError error = ListWith(WithArgument("MLSD", path), ListingFormat::Mlsd, entries);
        if (error == SessionError::None) return SessionError::None;
        // vsftpd: "500 Unknown command." A path that names a file gets a 5xx
        // from MLSD too, where LIST lists the one file.
        if (error != SessionError::Refused || lastReply_.code < 500) return error;
        if (CommandUnknown(lastReply_)) useMlsd_ = false;
    }
    return ListWith(WithArgument("LIST", path), ListingFormat::List, entries);
}

SessionError FtpSession::ListWith(const std::string &command, ListingFormat format, CompactListing &entries) {
    entries.Clear();
    listingLinesDropped_ = 0;
    DataChannel channel;
    if (const SessionError error = PrepareDataChannel(channel)) return error;
    FtpReply reply;
    if (const SessionError error = Request(command, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return Refused(reply);
    bool finalSeen = reply.IsSuccess();
    if (!finalSeen || channel.IsOpen()) {
        FtpReply early;
        if (const SessionError error = CompleteDataChannel(channel, early)) return DataTrouble(error, finalSeen);
        if (early.code != 0) {
            reply = early;
            finalSeen = true;
        } else if (const SessionError error = ReceiveListing(channel, format, entries)) {
            return DataTrouble(error, finalSeen);
        }
    }
    if (!finalSeen) {
        if (const SessionError error = AwaitFinal(reply, DeadlineAfter(CurrentTimeouts().receive))) return error;
    }
    // proftpd: "150 ..." then "450 missing: No such file or directory".
    return reply.IsSuccess() ? SessionError::None : Refused(reply);
}

SessionError FtpSession::ReceiveListing(DataChannel &channel, ListingFormat format, CompactListing &entries) {
    ListingReader reader(format, entries);
    const SessionError error = ReadListing(channel, reader);
    listingLinesDropped_ = reader.DroppedLines();
    CloseData(channel);
    if (reader.DroppedLines() > 0) {
        trace_.Note(std::to_string(reader.DroppedLines()) + " listing lines dropped: no entries in this format; " +
                    "the first: \"" + reader.FirstDroppedLine() + "\"");
    }
    return error;
}

// Lines are parsed as the data arrives, so only the entries stay in memory,
// never the listing's text.
SessionError FtpSession::ReadListing(DataChannel &channel, ListingReader &reader) {
    std::string chunk(listingChunk, '\0');
    for (;;) {
        std::size_t received = 0;
        const NetStatus status = channel.data->ReceiveFill(chunk.data(), chunk.size(), received,
                                                          DeadlineAfter(CurrentTimeouts().receive));
        channel.moved += received;
        if (!reader.Feed(std::string_view(chunk).substr(0, received))) return SessionError::OutOfMemory;
        if (status == NetStatus::Closed) return reader.Finish() ? SessionError::None : SessionError::OutOfMemory;
        if (status != NetStatus::Ok) return ErrorOfTransfer(status);
    }
}

SessionError FtpSession::OpenTransfer(const std::string &name, bool retrieve) {
    const std::optional<SizeProbe> probe = std::exchange(sizeProbe_, std::nullopt);
    if (const SessionError error = EnsureInStep()) return error;
    transfer_ = Transfer{};
    transfer_.retrieve = retrieve;
    if (retrieve) TakeTransferSize(name, probe);
    SessionError error = EnsureInStep();
    if (error == SessionError::None) error = StartTransfer(name, retrieve);
    if (error != SessionError::None) {
        transfer_ = Transfer{};
        return error;
    }
    transfer_.open = true;
    ChangeState(transfer_.finalSeen ? SessionState::Ready : SessionState::Transferring);
    return SessionError::None;
}

// The size asked just before the retrieval, in TYPE I, is the size of what
// the retrieval sends; servers that answer no SIZE may still name it in 150.
// A caller that asked SIZE itself just before has the answer already: asking
// again would cost a round trip for the same number.
void FtpSession::TakeTransferSize(const std::string &name, const std::optional<SizeProbe> &probe) {
    if (probe && probe->name == name) {
        transfer_.size = probe->size;
    } else if (useSize_) {
        QuerySize(name);
    }
}

void FtpSession::QuerySize(const std::string &name) {
    FtpReply reply;
    if (Exchange("SIZE " + name, reply) != SessionError::None) return;
    transfer_.size = SizeAnswered(reply);
}

void FtpSession::RememberSizeProbe(const std::string &line, const FtpReply &reply) {
    constexpr std::string_view verb = "SIZE ";
    if (line.compare(0, verb.size(), verb) != 0) return;
    sizeProbe_ = SizeProbe{line.substr(verb.size()), SizeAnswered(reply)};
}

// The size a reply to SIZE gives, whoever asked.
std::optional<uint64_t> FtpSession::SizeAnswered(const FtpReply &reply) {
    if (CommandUnknown(reply)) useSize_ = false;
    return ParseSizeReply(reply);
}

SessionError FtpSession::StartTransfer(const std::string &name, bool retrieve) {
    if (const SessionError error = PrepareDataChannel(transfer_.channel)) return error;
    FtpReply reply;
    if (const SessionError error = Request((retrieve ? "RETR " : "STOR ") + name, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return Refused(reply);
    transfer_.finalSeen = reply.IsSuccess();
    if (transfer_.finalSeen) {
        transfer_.finalReply = reply;
    } else {
        transfer_.announced = ParseAnnouncedSize(reply.Text());
        if (!transfer_.size) transfer_.size = transfer_.announced;
    }
    if (transfer_.finalSeen && !transfer_.channel.IsOpen()) {
        transfer_.dataEnded = true;  // done before it began: nothing to read
        return SessionError::None;
    }
    FtpReply early;
    if (const SessionError error = CompleteDataChannel(transfer_.channel, early)) {
        return DataTrouble(error, transfer_.finalSeen);
    }
    if (early.code == 0) return SessionError::None;
    // No data connection came, and the server has said its last word on it.
    if (!early.IsSuccess()) return Refused(early);
    transfer_.finalSeen = true;
    transfer_.finalReply = early;
    transfer_.dataEnded = true;
    return SessionError::None;
}

SessionError FtpSession::Read(void *buffer, uint32_t size, uint32_t &received) {
    received = 0;
    if (!transfer_.open || !transfer_.retrieve) return SessionError::WrongTransfer;
    if (transfer_.failure != SessionError::None) return transfer_.failure;
    if (transfer_.confirmed) return SessionError::None;
    if (!transfer_.dataEnded) {
        if (size == 0) return SessionError::InvalidArgument;
        std::size_t got = 0;
        const NetStatus status = transfer_.channel.data->ReceiveFill(buffer, size, got, DeadlineAfter(CurrentTimeouts().receive));
        transfer_.moved += got;
        received = static_cast<uint32_t>(got);
        transfer_.channel.moved += got;
        if (status == NetStatus::Closed) {
            transfer_.dataEnded = true;
            CloseData(transfer_.channel);
        } else if (status != NetStatus::Ok) {
            // Bytes that came before the stall are handed out; the failure
            // waits for the next read, which then fails at once.
            const SessionError error = FailTransfer(ErrorOfTransfer(status));
            if (got == 0) return error;
        }
        if (got > 0) return SessionError::None;
    }
    return Confirm();
}

// The data connection has ended: the transfer counts only when the server
// says it is complete and at least the bytes it announced have arrived.
SessionError FtpSession::Confirm() {
    if (const SessionError error = TakeFinal(DeadlineAfter(CurrentTimeouts().receive))) return FailTransfer(error);
    lastReply_ = transfer_.finalReply;
    if (!transfer_.finalReply.IsSuccess()) return FailTransfer(SessionError::Refused);
    if (transfer_.announced && transfer_.moved < *transfer_.announced) {
        return FailTransfer(SessionError::ConnectionLost);
    }
    transfer_.confirmed = true;
    return SessionError::None;
}

// Reads the transfer's final reply unless it came already.
SessionError FtpSession::TakeFinal(Deadline deadline) {
    if (transfer_.finalSeen) return SessionError::None;
    FtpReply reply;
    if (const SessionError error = AwaitFinal(reply, deadline)) return error;
    transfer_.finalSeen = true;
    transfer_.finalReply = reply;
    if (state_ == SessionState::Transferring) ChangeState(SessionState::Ready);
    return SessionError::None;
}

// A transfer whose data stopped moving until the deadline leaves a server
// that cannot be waited on again within the call: the session is given up.
SessionError FtpSession::FailTransfer(SessionError error) {
    transfer_.failure = error;
    if (error == SessionError::TimedOut) ChangeState(SessionState::Broken);
    return error;
}

SessionError FtpSession::Write(const void *data, uint32_t size, uint32_t &sent) {
    sent = 0;
    if (!transfer_.open || transfer_.retrieve) return SessionError::WrongTransfer;
    if (transfer_.failure != SessionError::None) return transfer_.failure;
    if (size == 0) return SessionError::None;
    if (!transfer_.channel.IsOpen()) return FailTransfer(SessionError::ConnectionLost);
    std::size_t done = 0;
    const NetStatus status = transfer_.channel.data->Send(data, size, done, DeadlineAfter(CurrentTimeouts().send));
    sent = static_cast<uint32_t>(done);
    transfer_.moved += done;
    transfer_.channel.moved += done;
    return status == NetStatus::Ok ? SessionError::None : FailTransfer(ErrorOfTransfer(status));
}

SessionError FtpSession::CloseTransfer() {
    if (!transfer_.open) return SessionError::None;
    const SessionError result = transfer_.retrieve ? EndRetrieval() : EndStore();
    transfer_ = Transfer{};
    return result;
}

// Closing the data connection before its end makes every server we know stop
// sending; what each says then differs: pyftpdlib, vsftpd and proftpd answer
// "426 ..." at once, pure-ftpd only "150 0.005 seconds (measured here), ...",
// which ends nothing, and one "426" may be followed by a "226". No wait can
// tell when they are done, so none is made: the session counts itself out of
// step, and before the next command an ABOR (the host's own, or one of ours)
// and a marker bring it back. Closing a retrieval is never a failure.
SessionError FtpSession::EndRetrieval() {
    CloseData(transfer_.channel);
    if (state_ == SessionState::Transferring) {
        ChangeState(SessionState::OutOfStep);
        abortDue_ = true;
    }
    return SessionError::None;
}

// The end of the data connection is the end of the file; the store counts
// only when the server then confirms it. Over TLS the end is said first
// (close_notify): vsftpd answers 426 to a store without it, and proftpd waits
// ten seconds for the socket to close if it is left open after it.
SessionError FtpSession::EndStore() {
    if (transfer_.channel.IsOpen() && transfer_.failure == SessionError::None) {
        const NetStatus finished = transfer_.channel.data->FinishSending(DeadlineAfter(CurrentTimeouts().send));
        if (finished != NetStatus::Ok) FailTransfer(ErrorOfTransfer(finished));
    }
    CloseData(transfer_.channel);
    if (state_ == SessionState::Broken) return transfer_.failure ? transfer_.failure : SessionError::Unusable;
    if (const SessionError error = TakeFinal(DeadlineAfter(CurrentTimeouts().receive))) return error;
    lastReply_ = transfer_.finalReply;
    if (!transfer_.finalReply.IsSuccess()) return SessionError::Refused;
    return transfer_.failure;
}

}  // namespace sapi::ftpclient
