#include "ftp/services/sockets/FtpTransfer.h"

#include <algorithm>
#include <utility>

#include "ftp/protocol/SizeReply.h"

namespace sapi::ftpclient {

namespace {

const char *NameOf(TransferPhase phase) {
    switch (phase) {
    case TransferPhase::Moving: return "moving";
    case TransferPhase::Ending: return "ending";
    case TransferPhase::Confirmed: return "confirmed";
    case TransferPhase::Failed: return "failed";
    }
    return "?";
}

}  // namespace

void FtpTransfer::ChangePhase(TransferPhase next) {
    if (next != phase_) trace_.Note(std::string("transfer ") + NameOf(phase_) + " -> " + NameOf(next));
    phase_ = next;
}

SessionError FtpTransfer::Start(const std::string &name, std::optional<uint64_t> size, uint64_t offset) {
    size_ = size;
    offset_ = offset;
    if (const SessionError error = connector_.Prepare(data_)) return error;
    FtpReply reply;
    // Right before the transfer command, after the data connection's own.
    if (offset > 0) {
        if (const SessionError error = channel_.AskFinal("REST " + std::to_string(offset), reply)) return error;
        if (reply.code != 350) return SessionError::Refused;
    }
    if (const SessionError error = channel_.Ask((retrieve_ ? "RETR " : "STOR ") + name, reply)) return error;
    if (!reply.IsPreliminary() && !reply.IsSuccess()) return SessionError::Refused;
    if (reply.IsSuccess()) {
        final_ = reply;
    } else {
        announced_ = ParseAnnouncedSize(reply.Text());
        if (!size_) size_ = announced_;
    }
    if (final_ && !data_.Started()) {
        ChangePhase(TransferPhase::Ending);  // done before it began: nothing to read
        return SessionError::None;
    }
    FtpReply early;
    if (const SessionError error = connector_.Complete(data_, early)) return channel_.DataFailed(error, final_.has_value());
    if (early.code == 0) return SessionError::None;
    // No data connection came, and the server has said its last word on it.
    if (!early.IsSuccess()) return SessionError::Refused;
    final_ = early;
    ChangePhase(TransferPhase::Ending);
    return SessionError::None;
}

SessionError FtpTransfer::Read(void *buffer, uint32_t size, uint32_t &received) {
    received = 0;
    if (!retrieve_) return SessionError::WrongTransfer;
    if (phase_ == TransferPhase::Failed) return failure_;
    if (phase_ == TransferPhase::Confirmed) return SessionError::None;
    if (phase_ == TransferPhase::Moving) {
        if (size == 0) return SessionError::InvalidArgument;
        std::size_t got = 0;
        const NetStatus status = data_.data->ReceiveFill(buffer, size, got, DeadlineAfter(timeouts_.receive));
        moved_ += got;
        data_.moved += got;
        received = static_cast<uint32_t>(got);
        if (status == NetStatus::Closed) {
            connector_.Close(data_);
            ChangePhase(TransferPhase::Ending);
        } else if (status != NetStatus::Ok) {
            // Bytes that came before the stall are handed out; the failure
            // waits for the next read, which then fails at once.
            const SessionError error = Fail(ErrorOf(status));
            if (got == 0) return error;
        }
        if (got > 0) return SessionError::None;
    }
    return Confirm();
}

// The data connection has ended: the transfer counts only when the server
// says it is complete and at least the bytes it announced have arrived.
SessionError FtpTransfer::Confirm() {
    if (const SessionError error = TakeFinal()) return Fail(error);
    if (!final_->IsSuccess()) return Fail(SessionError::Refused);
    // A resumed retrieval's "150" may count the whole file or what is left.
    if (announced_ && offset_ + moved_ < *announced_) return Fail(SessionError::ConnectionLost);
    ChangePhase(TransferPhase::Confirmed);
    return SessionError::None;
}

SessionError FtpTransfer::TakeFinal() {
    if (final_) return SessionError::None;
    FtpReply reply;
    if (const SessionError error = channel_.AwaitFinal(reply, DeadlineAfter(timeouts_.receive))) return error;
    final_ = reply;
    return SessionError::None;
}

// A transfer whose data stopped moving until the deadline leaves a server
// that cannot be waited on again within the call: the session is given up.
SessionError FtpTransfer::Fail(SessionError error) {
    failure_ = error;
    ChangePhase(TransferPhase::Failed);
    if (error == SessionError::TimedOut) channel_.GiveUp(error);
    return error;
}

bool FtpTransfer::Cut() const {
    if (phase_ != TransferPhase::Failed) return false;
    if (failure_ == SessionError::ConnectionLost || failure_ == SessionError::Unusable) return true;
    return failure_ == SessionError::Refused && final_ && final_->code == 426;
}

SessionError FtpTransfer::Write(const void *data, uint32_t size, uint32_t &sent) {
    sent = 0;
    if (retrieve_) return SessionError::WrongTransfer;
    if (phase_ == TransferPhase::Failed) return failure_;
    if (size == 0) return SessionError::None;
    if (!data_.IsOpen()) return Fail(SessionError::ConnectionLost);
    std::size_t done = 0;
    const NetStatus status = data_.data->Send(data, size, done, DeadlineAfter(timeouts_.send));
    sent = static_cast<uint32_t>(done);
    moved_ += done;
    data_.moved += done;
    return status == NetStatus::Ok ? SessionError::None : Fail(ErrorOf(status));
}

SessionError FtpTransfer::End() {
    if (std::exchange(ended_, true)) return failure_;
    return retrieve_ ? EndRetrieval() : EndStore();
}

// A retrieval closed before the server ended it is aborted the way the
// protocol says: Telnet IP and Synch, ABOR, the data read and dropped until
// the server answers ("426" then "226", or "225"/"226" when it had finished)
// or a short bound passes, and only then the data connection closed. Closed
// first, it kills inetutils-ftpd's session (SIGPIPE while it writes). The
// answers are then read up to a marker's, as for any ABOR: pure-ftpd adds a
// "150 ... seconds" line, proftpd may hold its answer until the next command,
// some servers never answer. Over TLS, which carries no urgent data, a plain
// ABOR goes unheard by a server still writing (vsftpd, proftpd), so there the
// data connection is closed first, and the ABOR and its marker go before the
// next command. Closing a retrieval is never a failure.
SessionError FtpTransfer::EndRetrieval() {
    if (final_ || !data_.IsOpen() || channel_.State() != ChannelState::Ready || !channel_.CanInterrupt()) {
        connector_.Close(data_);
        if (!final_) channel_.LeftMidRetrieval();
        return SessionError::None;
    }
    if (channel_.SendAbort(true)) {
        connector_.Close(data_);
        return SessionError::None;
    }
    DrainUntilAnswered();
    connector_.Close(data_);
    FtpReply answer;
    if (!channel_.CompleteAbort(answer)) abortAnswer_ = answer;
    return SessionError::None;
}

// A server that honours the interrupt answers within a round trip; one that
// does not (vsftpd without async_abor_enable; inetutils-ftpd 2.4 after its
// first abort in a session, as it leaves SIGURG blocked when it jumps out of
// its handler) would send the whole file first, so the wait is bounded (a second, and a small part of a wait for a
// reply, which the marker's answer may take after it) and the close then
// tells it.
void FtpTransfer::DrainUntilAnswered() {
    constexpr Milliseconds bound{1000};
    constexpr Milliseconds slice{20};
    const Deadline limit = DeadlineAfter(std::min(bound, timeouts_.receive / 4));
    std::string sink(64 * 1024, '\0');
    while (!Passed(limit) && !channel_.ReplyWaiting() && channel_.IsOpen()) {
        std::size_t got = 0;
        const NetStatus status = data_.data->Receive(sink.data(), sink.size(), got, std::min(limit, DeadlineAfter(slice)));
        data_.moved += got;
        if (status != NetStatus::Ok && status != NetStatus::Timeout) return;
    }
}

// The end of the data connection is the end of the file; the store counts
// only when the server then confirms it. Over TLS the end is said first
// (close_notify): vsftpd answers 426 to a store without it, and proftpd waits
// ten seconds for the socket to close if it is left open after it.
SessionError FtpTransfer::EndStore() {
    if (data_.IsOpen() && phase_ != TransferPhase::Failed) {
        const NetStatus finished = data_.data->FinishSending(DeadlineAfter(timeouts_.send));
        if (finished != NetStatus::Ok) Fail(ErrorOf(finished));
    }
    connector_.Close(data_);
    if (channel_.State() == ChannelState::Broken) return phase_ == TransferPhase::Failed ? failure_ : SessionError::Unusable;
    if (const SessionError error = TakeFinal()) return error;
    if (!final_->IsSuccess()) return SessionError::Refused;
    if (phase_ == TransferPhase::Failed) return failure_;
    ChangePhase(TransferPhase::Confirmed);
    return SessionError::None;
}

}  // namespace sapi::ftpclient
