// One FTP session: the control connection, the data connections, and the
// order of the commands. Every call returns a SessionError; Refused means the
// server said no, with its reply in LastReply().
//
// A session in step has nothing on its way but the answer to the command in
// flight: the next reply is that answer, judged by its first digit. Only
// while replies may still be coming (after an early close or an ABOR) are
// they dropped, up to the answer of a marker (FtpSessionStep.cpp).
//
// The session is in one protocol state at a time, and only ChangeState moves
// it, so that every transition can be traced:
//   Closed       no control connection
//   Ready        in step: the next fitting reply answers the next command
//   Transferring the final reply of a retrieval or store is still to come
//   OutOfStep    replies may still be on their way (a transfer closed early, a
//                "500" that may have been one of two); a marker is sent and
//                everything before its answer dropped before the next command
//   Broken       the server went away, broke the protocol, or let a wait run
//                out; nothing more is sent and every call fails at once
// Apart from the protocol state, a transfer is open from OpenTransfer to
// CloseTransfer; no command is sent while it is.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/services/sockets/ControlConnection.h"
#include "ftp/services/sockets/SessionError.h"
#include "ftp/services/sockets/SessionTrace.h"
#include "ftp/protocol/ExpectedReplies.h"
#include "ftp/services/sockets/TlsClient.h"
#include "ftp/services/sockets/TlsSettings.h"
#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/CompactListing.h"
#include "ftp/protocol/ListingReader.h"

namespace sapi::ftpclient {

enum class SessionState { Closed, Ready, Transferring, OutOfStep, Broken };

// A command line as a failure reason names it.
std::string CommandAsNamed(std::string_view line);
std::string SecondsText(Milliseconds wait);  // "60 s", "0.3 s"
std::string ConnectReason(SessionError error, const std::string &host, uint16_t port);

class FtpSession {
public:
    explicit FtpSession(bool passive, TlsSettings tls = {}) : passive_(passive), tlsSettings_(std::move(tls)) {}
    ~FtpSession();
    FtpSession(const FtpSession &) = delete;
    FtpSession &operator=(const FtpSession &) = delete;

    // Connects, reads the greeting, logs in, learns FEAT, sets UTF-8 and TYPE I.
    SessionError Login(const std::string &host, uint16_t port, const std::string &user,
                   const std::string &password);
    // One command without a data connection; success is a 2xx reply, or a
    // 3xx the command takes.
    SessionError Command(const std::string &line, FtpReply &reply);
    // The entries of a folder (empty path: the current one), MLSD if the
    // server has it, LIST otherwise, parsed as they arrive. When lines came
    // and not one was an entry, the names NLST gives, as files.
    SessionError List(const std::string &path, CompactListing &entries);
    // Lines of the last listing that were no entry in its format, and dropped.
    std::size_t ListingLinesDropped() const { return listingLinesDropped_; }

    SessionError OpenTransfer(const std::string &name, bool retrieve);
    // Success with 0 bytes only once the server confirmed the whole transfer.
    SessionError Read(void *buffer, uint32_t size, uint32_t &received);
    SessionError Write(const void *data, uint32_t size, uint32_t &sent);
    // Ends the open transfer. A store fails unless the server confirmed it;
    // a retrieval closed before its end is no failure.
    SessionError CloseTransfer();
    std::optional<uint64_t> TransferSize() const { return transfer_.size; }
    bool TransferIsRetrieval() const { return transfer_.retrieve; }
    // The server confirmed the whole retrieval: no read can bring more data.
    bool TransferConfirmed() const { return transfer_.confirmed; }

    // Sends QUIT without waiting and drops the connection.
    void Close();

    SessionState State() const { return state_; }
    // The control connection's TLS: its facts, or why it failed (NotSecure).
    const TlsCheck &TlsOutcome() const { return tlsCheck_; }
    const FtpReply &LastReply() const { return lastReply_; }
    // Why the last call failed, in a user's terms: one line, the server's
    // reply where there was one ("530 Login incorrect.", "no greeting within
    // 60 s"). Empty after a success.
    const std::string &FailureReason() const { return reason_; }
    // A line of the module's own in the trace.
    void Note(std::string_view text) { trace_.Note(text); }

private:
    struct DataChannel {
        std::unique_ptr<ByteStream> data;
        Socket listener;  // active mode, until the server connects
        uint64_t moved = 0;     // bytes either way, for the trace
        double openedAt = 0.0;  // trace seconds
        bool IsOpen() const { return data && data->IsOpen(); }
    };
    struct Transfer {
        bool open = false;  // between OpenTransfer and CloseTransfer
        bool retrieve = true;
        DataChannel channel;
        bool dataEnded = false;
        bool finalSeen = false;
        bool confirmed = false;
        FtpReply finalReply;
        SessionError failure;
        std::optional<uint64_t> size;
        std::optional<uint64_t> announced;
        uint64_t moved = 0;
    };

    void ChangeState(SessionState next);
    SessionError EnsureInStep();
    SessionError Resynchronise();
    SessionError AwaitMarker(std::string &marker, FtpReply *abortAnswer);
    SessionError Abort(FtpReply &reply);
    void DropUnsolicited();
    SessionError Send(const std::string &line);
    SessionError NextAnswer(FtpReply &reply, Deadline deadline);
    SessionError Request(const std::string &line, FtpReply &reply);
    SessionError AwaitFinal(FtpReply &reply, Deadline deadline);
    SessionError Exchange(const std::string &line, FtpReply &reply);
    SessionError ReplyTrouble(SessionError error);
    SessionError Refused(const FtpReply &reply);
    // Records why, unless a reason is known already, and returns the error.
    SessionError Failed(SessionError error, std::string reason = {});
    std::string ReasonFor(SessionError error) const;

    SessionError Connect(const std::string &host, uint16_t port);
    SessionError Greet();

    SessionError LogIn(const std::string &user, const std::string &password);
    void LearnFeatures();

    SessionError PrepareDataChannel(DataChannel &channel);
    SessionError PreparePassive(DataChannel &channel);
    SessionError PrepareActive(DataChannel &channel);
    // After the transfer command. A final reply that ends the wait for an
    // active-mode data connection instead ("425 Can't open data connection")
    // comes back in `final` with no data connection open.
    SessionError CompleteDataChannel(DataChannel &channel, FtpReply &final);
    SessionError AcceptData(DataChannel &channel, FtpReply &final);
    SessionError ConnectData(uint16_t port, DataChannel &channel);
    // Where a plain stream becomes a TLS one: the control connection after
    // the greeting (or at connect, for implicit TLS), each data connection
    // once it is connected or accepted. Plain sessions keep their streams.
    SessionError SecureControl();
    SessionError SecureData(DataChannel &channel);
    SessionError OpenedData(DataChannel &channel, Socket socket);
    void CloseData(DataChannel &channel);
    // A data connection that failed: a timeout gives the session up; any
    // other failure before the final reply leaves that reply on its way.
    SessionError DataTrouble(SessionError error, bool finalSeen);
    // Implicit TLS from the first byte, or explicit after AUTH TLS.
    SessionError StartTls();
    SessionError Wrap(std::unique_ptr<ByteStream> &stream, bool control);
    // PBSZ 0 and PROT P: every data connection in TLS too.
    SessionError ProtectData();

    SessionError ListEntries(const std::string &path, CompactListing &entries);
    // After a listing whose lines were all dropped: the names alone (NLST).
    SessionError ListNames(const std::string &path, CompactListing &entries);
    SessionError ListWith(const std::string &command, ListingFormat format, CompactListing &entries);
    SessionError ReceiveListing(DataChannel &channel, ListingFormat format, CompactListing &entries);
    SessionError ReadListing(DataChannel &channel, ListingReader &reader);
    void RememberSizeProbe(const std::string &line, const FtpReply &reply);
    struct SizeProbe {
        std::string name;
        std::optional<uint64_t> size;
    };
    void TakeTransferSize(const std::string &name, const std::optional<SizeProbe> &probe);
    SessionError StartTransfer(const std::string &name, bool retrieve);
    void QuerySize(const std::string &name);
    std::optional<uint64_t> SizeAnswered(const FtpReply &reply);
    SessionError Confirm();
    SessionError FailTransfer(SessionError error);
    SessionError TakeFinal(Deadline deadline);
    SessionError EndRetrieval();
    SessionError EndStore();

    bool passive_;
    SessionState state_ = SessionState::Closed;
    ControlConnection control_;
    ReplyMatcher matcher_;
    SessionTrace trace_;
    bool systRefused_ = false;  // the marker is PWD then
    bool abortDue_ = false;     // a retrieval was closed before the server ended it
    FtpReply lastReply_;
    FeatureSet features_;
    bool useMlsd_ = true;
    bool useSize_ = true;
    bool useExtendedPassive_ = true;
    bool useExtendedPort_ = true;
    Transfer transfer_;
    // The answer to a "SIZE name" command, for a retrieval of that name that
    // comes next: FtpGetFileSize then needs no SIZE of its own. The next
    // command of any other kind drops it.
    std::optional<SizeProbe> sizeProbe_;
    TlsSettings tlsSettings_;
    std::string host_;
    uint16_t port_ = 0;
    // The command last sent, as a reason names it ("PASS", "PROT P").
    std::string lastCommand_;
    std::string reason_;
    // Shared so that only the TLS code needs the whole type (absent on Windows).
    std::shared_ptr<TlsClient> tls_;
    TlsCheck tlsCheck_;
    std::size_t listingLinesDropped_ = 0;
};

}  // namespace sapi::ftpclient
