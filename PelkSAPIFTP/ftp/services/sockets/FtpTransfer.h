// One retrieval or store, from its command to its close. Its phase is one of
//   Moving     the data connection is open, bytes move
//   Ending     the data connection has ended; the server's final word is due
//   Confirmed  the server confirmed the whole transfer
//   Failed     it failed (failure() says how); every read or write says so
// and only ChangePhase moves it, traced. The server's final reply may come
// at any time before the end ("226" first, data after): it is kept until the
// data has ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ftp/services/sockets/DataConnector.h"

namespace sapi::ftpclient {

enum class TransferPhase { Moving, Ending, Confirmed, Failed };

class FtpTransfer {
public:
    FtpTransfer(ReplyChannel &channel, DataConnector &connector, SessionTrace &trace, const ClientTimeouts &timeouts,
                bool retrieve)
        : channel_(channel), connector_(connector), trace_(trace), timeouts_(timeouts), retrieve_(retrieve) {}
    ~FtpTransfer() { connector_.Close(data_); }
    FtpTransfer(const FtpTransfer &) = delete;
    FtpTransfer &operator=(const FtpTransfer &) = delete;

    // The data connection, the command, and the server's first word on it.
    // `size`: what SIZE said just before, if it was asked. `offset`: where a
    // resumed retrieval starts (REST).
    SessionError Start(const std::string &name, std::optional<uint64_t> size, uint64_t offset = 0);
    // Success with 0 bytes only once the server confirmed the whole transfer.
    SessionError Read(void *buffer, uint32_t size, uint32_t &received);
    SessionError Write(const void *data, uint32_t size, uint32_t &sent);
    // A store fails unless the server confirmed it; a retrieval closed before
    // its end is no failure.
    SessionError End();

    bool IsRetrieval() const { return retrieve_; }
    std::optional<uint64_t> Size() const { return size_; }
    bool Confirmed() const { return phase_ == TransferPhase::Confirmed; }
    // It failed because a connection broke under it (closed or reset early,
    // or the server's "426"), not because a wait ran out or the server refused.
    bool Cut() const;
    // The answer to the ABOR that ended a retrieval early, once it came.
    const std::optional<FtpReply> &AbortAnswer() const { return abortAnswer_; }

private:
    void ChangePhase(TransferPhase next);
    SessionError Fail(SessionError error);
    SessionError Confirm();
    SessionError TakeFinal();
    SessionError EndRetrieval();
    SessionError EndStore();
    void DrainUntilAnswered();

    ReplyChannel &channel_;
    DataConnector &connector_;
    SessionTrace &trace_;
    const ClientTimeouts &timeouts_;
    bool retrieve_;
    TransferPhase phase_ = TransferPhase::Moving;
    DataChannel data_;
    std::optional<FtpReply> final_;
    std::optional<FtpReply> abortAnswer_;
    SessionError failure_;
    std::optional<uint64_t> size_;
    std::optional<uint64_t> announced_;  // in the "150" line
    uint64_t moved_ = 0;
    uint64_t offset_ = 0;
    bool ended_ = false;
};

}  // namespace sapi::ftpclient
