// Listings, retrievals and stores over a data connection.
#include "ftp/services/WinInetConstants.h"
#include "ftp/services/sockets/FtpSession.h"
#include "ftp/protocol/SizeReply.h"

namespace sapi::ftpclient {

using namespace sapi::wininet;

namespace {

constexpr std::size_t listingChunk = 64 * 1024;

uint32_t ErrorOfTransfer(NetStatus status) {
    return status == NetStatus::Timeout ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CONNECTION_ABORTED;
}

std::string WithArgument(const std::string &command, const std::string &argument) {
    return argument.empty() ? command : command + " " + argument;
}

}  // namespace

uint32_t FtpSession::List(const std::string &path, CompactListing &entries) {
    if (const uint32_t error = EnsureInStep()) return error;
    if (useMlsd_) {
        const uint32_t error = ListWith(WithArgument("MLSD", path), ListingFormat::Mlsd, entries);
        if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
        // vsftpd: "500 Unknown command." A path that names a file gets a 5xx
        // from MLSD too, where LIST lists the one file.
        if (error != ERROR_INTERNET_EXTENDED_ERROR || lastReply_.code < 500) return error;
        if (lastReply_.code == 500 || lastReply_.code == 502) useMlsd_ = false;
    }
    return ListWith(WithArgument("LIST", path), ListingFormat::List, entries);
}

uint32_t FtpSession::ListWith(const std::string &command, ListingFormat format, CompactListing &entries) {
    entries.Clear();
    listingLinesDropped_ = 0;
    DataChannel channel;
    if (const uint32_t error = PrepareDataChannel(channel)) return error;
    FtpReply reply;
    if (const uint32_t error = Request(command, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return Refused(reply);
    const bool finalSeen = reply.IsSuccess();
    if (!finalSeen || channel.data.IsOpen()) {
        if (const uint32_t error = CompleteDataChannel(channel)) {
            if (!finalSeen) ChangeState(SessionState::OutOfStep);
            return error;
        }
        ListingReader reader(format, entries);
        const uint32_t error = ReadListing(channel.data, reader);
        listingLinesDropped_ = reader.DroppedLines();
        channel = DataChannel{};
        if (error != ERROR_SUCCESS) {
            if (!finalSeen && state_ == SessionState::Ready) ChangeState(SessionState::OutOfStep);
            return error;
        }
    }
    if (!finalSeen) {
        if (const uint32_t error = AwaitFinal(reply, CurrentTimeouts().receive)) return error;
    }
    // proftpd: "150 ..." then "450 missing: No such file or directory".
    return reply.IsSuccess() ? ERROR_SUCCESS : Refused(reply);
}

// Lines are parsed as the data arrives, so only the entries stay in memory,
// never the listing's text.
uint32_t FtpSession::ReadListing(const Socket &data, ListingReader &reader) {
    SetTransferTimeouts(data, CurrentTimeouts().receive, CurrentTimeouts().send);
    std::string chunk(listingChunk, '\0');
    for (;;) {
        std::size_t received = 0;
        const NetStatus status = ReceiveFill(data, chunk.data(), chunk.size(), received);
        if (!reader.Feed(std::string_view(chunk).substr(0, received))) return ERROR_NOT_ENOUGH_MEMORY;
        if (status == NetStatus::Closed) return reader.Finish() ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
        if (status != NetStatus::Ok) return ErrorOfTransfer(status);
    }
}

uint32_t FtpSession::OpenTransfer(const std::string &name, bool retrieve) {
    if (const uint32_t error = EnsureInStep()) return error;
    transfer_ = Transfer{};
    transfer_.retrieve = retrieve;
    if (retrieve && useSize_) QuerySize(name);
    uint32_t error = EnsureInStep();
    if (error == ERROR_SUCCESS) error = StartTransfer(name, retrieve);
    if (error != ERROR_SUCCESS) {
        transfer_ = Transfer{};
        return error;
    }
    transfer_.open = true;
    ChangeState(transfer_.finalSeen ? SessionState::Ready : SessionState::Transferring);
    return ERROR_SUCCESS;
}

// The size asked just before the retrieval, in TYPE I, is the size of what
// the retrieval sends; servers that answer no SIZE may still name it in 150.
void FtpSession::QuerySize(const std::string &name) {
    FtpReply reply;
    if (Exchange("SIZE " + name, reply) != ERROR_SUCCESS) return;
    if (reply.code == 500 || reply.code == 502) useSize_ = false;
    transfer_.size = ParseSizeReply(reply);
}

uint32_t FtpSession::StartTransfer(const std::string &name, bool retrieve) {
    if (const uint32_t error = PrepareDataChannel(transfer_.channel)) return error;
    FtpReply reply;
    if (const uint32_t error = Request((retrieve ? "RETR " : "STOR ") + name, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return Refused(reply);
    transfer_.finalSeen = reply.IsSuccess();
    if (transfer_.finalSeen) {
        transfer_.finalReply = reply;
    } else {
        transfer_.announced = ParseAnnouncedSize(reply.Text());
        if (!transfer_.size) transfer_.size = transfer_.announced;
    }
    if (transfer_.finalSeen && !transfer_.channel.data.IsOpen()) {
        transfer_.dataEnded = true;  // done before it began: nothing to read
        return ERROR_SUCCESS;
    }
    if (const uint32_t error = CompleteDataChannel(transfer_.channel)) {
        if (!transfer_.finalSeen) ChangeState(SessionState::OutOfStep);
        return error;
    }
    SetTransferTimeouts(transfer_.channel.data, CurrentTimeouts().receive, CurrentTimeouts().send);
    return ERROR_SUCCESS;
}

uint32_t FtpSession::Read(void *buffer, uint32_t size, uint32_t &received) {
    received = 0;
    if (!transfer_.open || !transfer_.retrieve) return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    if (transfer_.failure != ERROR_SUCCESS) return transfer_.failure;
    if (transfer_.confirmed) return ERROR_SUCCESS;
    if (!transfer_.dataEnded) {
        if (size == 0) return ERROR_INVALID_PARAMETER;
        std::size_t got = 0;
        const NetStatus status = ReceiveFill(transfer_.channel.data, buffer, size, got);
        transfer_.moved += got;
        received = static_cast<uint32_t>(got);
        if (status == NetStatus::Closed) {
            transfer_.dataEnded = true;
            transfer_.channel.data.Close();
        } else if (status != NetStatus::Ok && got == 0) {
            return FailTransfer(ErrorOfTransfer(status));
        }
        if (got > 0) return ERROR_SUCCESS;
    }
    return Confirm();
}

// The data connection has ended: the transfer counts only when the server
// says it is complete and at least the bytes it announced have arrived.
uint32_t FtpSession::Confirm() {
    if (const uint32_t error = TakeFinal(CurrentTimeouts().receive)) return FailTransfer(error);
    lastReply_ = transfer_.finalReply;
    if (!transfer_.finalReply.IsSuccess()) return FailTransfer(ERROR_INTERNET_EXTENDED_ERROR);
    if (transfer_.announced && transfer_.moved < *transfer_.announced) {
        return FailTransfer(ERROR_INTERNET_CONNECTION_ABORTED);
    }
    transfer_.confirmed = true;
    return ERROR_SUCCESS;
}

// Reads the transfer's final reply unless it came already.
uint32_t FtpSession::TakeFinal(Milliseconds timeout) {
    if (transfer_.finalSeen) return ERROR_SUCCESS;
    FtpReply reply;
    if (const uint32_t error = AwaitFinal(reply, timeout)) return error;
    transfer_.finalSeen = true;
    transfer_.finalReply = reply;
    if (state_ == SessionState::Transferring) ChangeState(SessionState::Ready);
    return ERROR_SUCCESS;
}

uint32_t FtpSession::FailTransfer(uint32_t error) {
    transfer_.failure = error;
    return error;
}

uint32_t FtpSession::Write(const void *data, uint32_t size, uint32_t &sent) {
    sent = 0;
    if (!transfer_.open || transfer_.retrieve) return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    if (transfer_.failure != ERROR_SUCCESS) return transfer_.failure;
    if (size == 0) return ERROR_SUCCESS;
    if (!transfer_.channel.data.IsOpen()) return FailTransfer(ERROR_INTERNET_CONNECTION_ABORTED);
    std::size_t done = 0;
    const NetStatus status = SendBlock(transfer_.channel.data, data, size, done);
    sent = static_cast<uint32_t>(done);
    transfer_.moved += done;
    return status == NetStatus::Ok ? ERROR_SUCCESS : FailTransfer(ErrorOfTransfer(status));
}

uint32_t FtpSession::CloseTransfer() {
    if (!transfer_.open) return ERROR_SUCCESS;
    const uint32_t result = transfer_.retrieve ? EndRetrieval() : EndStore();
    transfer_ = Transfer{};
    return result;
}

// Closing the data connection before its end makes every server we know stop
// sending; what each says then differs: pyftpdlib, vsftpd and proftpd answer
// "426 ..." at once, pure-ftpd only "150 0.005 seconds (measured here), ...",
// which ends nothing. So the closing reply is waited for briefly, and a
// session that did not get a final one is put back in step before its next
// command. Closing a retrieval is never a failure.
uint32_t FtpSession::EndRetrieval() {
    transfer_.channel = DataChannel{};
    if (state_ != SessionState::Transferring) return ERROR_SUCCESS;
    FtpReply reply;
    const uint32_t error = control_.ReadReply(reply, CurrentTimeouts().closingReply);
    if (error == ERROR_SUCCESS && !reply.IsPreliminary()) {
        lastReply_ = reply;
        ChangeState(reply.code == 421 ? SessionState::Broken : SessionState::Ready);
    } else if (error == ERROR_SUCCESS || error == ERROR_INTERNET_TIMEOUT) {
        ChangeState(SessionState::OutOfStep);
    } else {
        ChangeState(SessionState::Broken);
    }
    return ERROR_SUCCESS;
}

// The end of the data connection is the end of the file; the store counts
// only when the server then confirms it.
uint32_t FtpSession::EndStore() {
    transfer_.channel = DataChannel{};
    if (const uint32_t error = TakeFinal(CurrentTimeouts().receive)) return error;
    lastReply_ = transfer_.finalReply;
    if (!transfer_.finalReply.IsSuccess()) return ERROR_INTERNET_EXTENDED_ERROR;
    return transfer_.failure;
}

}  // namespace sapi::ftpclient
