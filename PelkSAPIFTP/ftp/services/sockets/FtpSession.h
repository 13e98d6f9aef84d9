// One FTP session: the control connection, the data connections, and the
// order of the commands. Every call returns 0 or one of WinInet's error
// numbers; 12003 means the server refused, with its reply in LastReply().
//
// The session is in one protocol state at a time, and only ChangeState moves
// it, so that every transition can be traced:
//   Closed       no control connection
//   Ready        in step: the next reply to arrive answers the next command
//   Transferring the final reply of a retrieval or store is still to come
// Apart from the protocol state, a transfer is open from OpenTransfer to
// CloseTransfer; no command is sent while it is.
//   OutOfStep    a reply may still be on its way (a transfer closed early, a
//                reply that timed out); a NOOP is sent and replies are dropped
//                up to its 200 before the next command
//   Broken       the server went away or broke the protocol; nothing more is sent
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ftp/services/sockets/ControlConnection.h"
#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/CompactListing.h"
#include "ftp/protocol/ListingReader.h"

namespace sapi::ftpclient {

enum class SessionState { Closed, Ready, Transferring, OutOfStep, Broken };

class FtpSession {
public:
    explicit FtpSession(bool passive) : passive_(passive) {}
    ~FtpSession();
    FtpSession(const FtpSession &) = delete;
    FtpSession &operator=(const FtpSession &) = delete;

    // Connects, reads the greeting, logs in, learns FEAT, sets UTF-8 and TYPE I.
    uint32_t Login(const std::string &host, uint16_t port, const std::string &user,
                   const std::string &password);
    // One command without a data connection; success is a 2xx or 3xx reply.
    uint32_t Command(const std::string &line, FtpReply &reply);
    // The entries of a folder (empty path: the current one), MLSD if the
    // server has it, LIST otherwise, parsed as they arrive.
    uint32_t List(const std::string &path, CompactListing &entries);
    // Lines of the last listing that were no entry in its format, and dropped.
    std::size_t ListingLinesDropped() const { return listingLinesDropped_; }

    uint32_t OpenTransfer(const std::string &name, bool retrieve);
    // Success with 0 bytes only once the server confirmed the whole transfer.
    uint32_t Read(void *buffer, uint32_t size, uint32_t &received);
    uint32_t Write(const void *data, uint32_t size, uint32_t &sent);
    // Ends the open transfer. A store fails unless the server confirmed it;
    // a retrieval closed before its end is no failure.
    uint32_t CloseTransfer();
    std::optional<uint64_t> TransferSize() const { return transfer_.size; }
    bool TransferIsRetrieval() const { return transfer_.retrieve; }

    // Sends QUIT without waiting and drops the connection.
    void Close();

    SessionState State() const { return state_; }
    const FtpReply &LastReply() const { return lastReply_; }

private:
    struct DataChannel {
        Socket data;
        Socket listener;  // active mode, until the server connects
    };
    struct Transfer {
        bool open = false;  // between OpenTransfer and CloseTransfer
        bool retrieve = true;
        DataChannel channel;
        bool dataEnded = false;
        bool finalSeen = false;
        bool confirmed = false;
        FtpReply finalReply;
        uint32_t failure = 0;
        std::optional<uint64_t> size;
        std::optional<uint64_t> announced;
        uint64_t moved = 0;
    };

    void ChangeState(SessionState next);
    uint32_t EnsureInStep();
    uint32_t Synchronise();
    void DropUnsolicited();
    uint32_t Request(const std::string &line, FtpReply &reply);
    uint32_t AwaitFinal(FtpReply &reply, Milliseconds timeout);
    uint32_t Exchange(const std::string &line, FtpReply &reply);
    uint32_t ReplyTrouble(uint32_t error);
    uint32_t Refused(const FtpReply &reply);

    uint32_t LogIn(const std::string &user, const std::string &password);
    void LearnFeatures();

    uint32_t PrepareDataChannel(DataChannel &channel);
    uint32_t PreparePassive(DataChannel &channel);
    uint32_t PrepareActive(DataChannel &channel);
    uint32_t CompleteDataChannel(DataChannel &channel);
    uint32_t ConnectData(uint16_t port, DataChannel &channel);

    uint32_t ListWith(const std::string &command, ListingFormat format, CompactListing &entries);
    uint32_t ReadListing(const Socket &data, ListingReader &reader);
    uint32_t StartTransfer(const std::string &name, bool retrieve);
    void QuerySize(const std::string &name);
    uint32_t Confirm();
    uint32_t FailTransfer(uint32_t error);
    uint32_t TakeFinal(Milliseconds timeout);
    uint32_t EndRetrieval();
    uint32_t EndStore();

    bool passive_;
    SessionState state_ = SessionState::Closed;
    ControlConnection control_;
    FtpReply lastReply_;
    FeatureSet features_;
    bool useMlsd_ = true;
    bool useSize_ = true;
    bool useExtendedPassive_ = true;
    bool useExtendedPort_ = true;
    Transfer transfer_;
    std::size_t listingLinesDropped_ = 0;
};

}  // namespace sapi::ftpclient
