// Listings: MLSD where the server has it, LIST otherwise, read over a data
// connection and parsed as the lines arrive.
#include "ftp/protocol/ReplyCodes.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

constexpr std::size_t listingChunk = 64 * 1024;

std::string WithArgument(const std::string &command, const std::string &argument) {
    return argument.empty() ? command : command + " " + argument;
}

}  // namespace

SessionError FtpSession::List(const std::string &path, CompactListing &entries) {
    if (transfer_) return SessionError::TransferInProgress;
    sizeProbe_.reset();
    abortAnswer_.reset();
    return Recovering([&] { return ListOnce(path, entries); });
}

SessionError FtpSession::ListOnce(const std::string &path, CompactListing &entries) {
    listingNamesAdded_ = 0;
    listingNote_.clear();
    const SessionError error = ListEntries(path, entries);
    if (error != SessionError::None || listingLinesDropped_ == 0) return error;
    return ListNames(path, entries);
}

SessionError FtpSession::ListEntries(const std::string &path, CompactListing &entries) {
    if (useMlsd_) {
        const SessionError error = ListWith(WithArgument("MLSD", path), ListingFormat::Mlsd, entries);
        if (error == SessionError::None) return SessionError::None;
        // vsftpd: "500 Unknown command." A path that names a file gets a 5xx
        // from MLSD too, where LIST lists the one file.
        if (error != SessionError::Refused || LastReply().code < 500) return error;
        if (CommandUnknown(LastReply())) useMlsd_ = false;
    }
    return ListWith(WithArgument("LIST", path), ListingFormat::List, entries);
}

SessionError FtpSession::ListWith(const std::string &command, ListingFormat format, CompactListing &entries) {
    entries.Clear();
    listingLinesDropped_ = 0;
    DataChannel channel;
    if (const SessionError error = connector_.Prepare(channel)) return error;
    FtpReply reply;
    if (const SessionError error = channel_.Ask(command, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return SessionError::Refused;
    bool finalSeen = reply.IsSuccess();
    if (!finalSeen || channel.Started()) {
        FtpReply early;
        if (const SessionError error = connector_.Complete(channel, early)) {
            return channel_.DataFailed(error, finalSeen);
        }
        if (early.code != 0) {
            reply = early;
            finalSeen = true;
        } else if (const SessionError error = ReceiveListing(channel, format, entries)) {
            return channel_.DataFailed(error, finalSeen);
        }
    }
    if (!finalSeen) {
        if (const SessionError error = channel_.AwaitFinal(reply, DeadlineAfter(timeouts_.receive))) return error;
    }
    // proftpd: "150 ..." then "450 missing: No such file or directory".
    return reply.IsSuccess() ? SessionError::None : SessionError::Refused;
}

SessionError FtpSession::ReceiveListing(DataChannel &channel, ListingFormat format, CompactListing &entries) {
    ListingReader reader(format, entries);
    const SessionError error = ReadListing(channel, reader);
    listingLinesDropped_ = reader.DroppedLines();
    unreadLines_ = reader.TakeDroppedLines();
    connector_.Close(channel);
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
        const NetStatus status =
            channel.data->ReceiveFill(chunk.data(), chunk.size(), received, DeadlineAfter(timeouts_.receive));
        channel.moved += received;
        if (!reader.Feed(std::string_view(chunk).substr(0, received))) return SessionError::OutOfMemory;
        if (status == NetStatus::Closed) return reader.Finish() ? SessionError::None : SessionError::OutOfMemory;
        if (status != NetStatus::Ok) return ErrorOf(status);
    }
}

}  // namespace sapi::ftpclient
