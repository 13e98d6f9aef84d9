// One FTP session, in three parts: the reply channel (commands, their
// answers, getting back in step), the data connector (passive, active, TLS)
// and the transfer under way. The session itself is the order of the steps:
// log in, list, transfer, close. Every call returns a SessionError; Refused
// means the server said no, with its reply in LastReply().
//
// Its byte streams come from a StreamFactory (TCP in the module, pipes in a
// test) and its waits from the timeouts it was made with.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/protocol/CompactListing.h"
#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/ListingReader.h"
#include "ftp/services/sockets/DataConnector.h"
#include "ftp/services/sockets/Deadline.h"
#include "ftp/services/sockets/FtpTransfer.h"
#include "ftp/services/sockets/ReplyChannel.h"
#include "ftp/services/sockets/RunningDigest.h"
#include "ftp/services/sockets/TlsSettings.h"
#include "platform/Mutex.h"

namespace sapi::ftpclient {

enum class VerifyMode { Off, WhereOffered, Required };

// What a call on the session came to, and what it rests on: the server's
// last reply, and, where the call failed, the session's own account of why:
// the reason it went away, what a transfer's check found, or the TLS check.
struct SessionOutcome {
    SessionError error;
    const FtpReply &reply;   // empty when no reply came
    std::string reason;      // set when the session went away, or a check failed
    const TlsCheck *tls = nullptr;  // set when the server was found not secure
};

class FtpSession {
public:
    FtpSession(bool passive, TlsSettings tls = {}, StreamFactory &streams = TcpStreams(),
               ClientTimeouts timeouts = CurrentTimeouts());
    ~FtpSession();
    FtpSession(const FtpSession &) = delete;
    FtpSession &operator=(const FtpSession &) = delete;

    // Connects, reads the greeting, secures the connection if asked, logs in,
    // learns FEAT and sets TYPE I in one flight, then UTF-8.
    SessionError Login(const std::string &host, uint16_t port, const std::string &user, const std::string &password);
    // One command without a data connection; success is a 2xx reply, or a
    // 3xx the command takes.
    SessionError Command(const std::string &line, FtpReply &reply);
    // The entries of a folder (empty path: the current one), MLSD if the
    // server has it, LIST otherwise, parsed as they arrive. When lines came
    // that were no entry, completed by the names NLST gives.
    SessionError List(const std::string &path, CompactListing &entries);
    // Lines of the last listing that were no entry in its format, and dropped.
    std::size_t ListingLinesDropped() const { return listingLinesDropped_; }
    // Entries of the last listing that only NLST named.
    std::size_t ListingNamesAdded() const { return listingNamesAdded_; }
    // Empty, or for a user: how many lines of the last listing were not
    // understood, and whether NLST completed it.
    const std::string &ListingNote() const { return listingNote_; }

    SessionError OpenTransfer(const std::string &name, bool retrieve);
    SessionError Read(void *buffer, uint32_t size, uint32_t &received);
    SessionError Write(const void *data, uint32_t size, uint32_t &sent);
    SessionError CloseTransfer();
    std::optional<uint64_t> TransferSize() const { return transfer_ ? transfer_->Size() : std::nullopt; }
    bool TransferIsRetrieval() const { return transfer_ && transfer_->IsRetrieval(); }
    // The server confirmed the whole retrieval: no read can bring more data.
    bool TransferConfirmed() const { return transfer_ && transfer_->Confirmed(); }

    // Sends QUIT without waiting and drops the connection; a stopped session
    // only drops it.
    void Close();

    // Threads: one call at a time runs on a session (its caller holds
    // CallLock() meanwhile, and watches StopFlag()). Stop() is the one thing
    // another thread may do while a call runs: the call's waits fail within a
    // fraction of a second, and the session is not opened again.
    Mutex &CallLock() { return callLock_; }
    const std::atomic<bool> &StopFlag() const { return stopped_; }
    void Stop() { stopped_ = true; }

    // From now on a session the server or the network dropped is opened again
    // within the call that finds it gone, and a retrieval cut short resumes
    // where it stopped (FtpSessionRecovery.cpp).
    void EnableRecovery(bool on) { recover_ = on; }
    // After a store failed: it was cut under it (not refused, not stalled),
    // and the call may still log in again; its bytes are the caller's to send.
    bool MaySendAgain() const;
    // From now on every transfer that reaches its end is checked against the
    // server's own digest of the file (FtpSessionDigest.cpp): where it offers
    // one (VerifyMode::WhereOffered), or failing without one (Required).
    void EnableVerification(VerifyMode mode) { verifyMode_ = mode; }
    // From now on a retrieval that reaches its end follows the file while it
    // grows (FtpSessionFollow.cpp), and ends once its size has stayed the same
    // for `quietSeconds`; 0 ends it where the server ends it.
    void EnableFollowing(uint32_t quietSeconds) { followQuiet_ = quietSeconds; }
    // What the last check found, in a user's words: "verified (SHA-256)", or
    // why the transfer is not verified or failed. Empty when none was made.
    const std::string &Verification() const { return verification_; }

    ChannelState State() const { return channel_.State(); }
    // The control connection's TLS: its facts, or why it failed (NotSecure).
    const TlsCheck &TlsOutcome() const { return tlsCheck_; }
    const FtpReply &LastReply() const { return channel_.LastReply(); }
    // The server's answer to the login, for a caller that shows it.
    const FtpReply &LoginReply() const { return loginReply_; }
    // Why the session failed, in a user's terms: one line, the server's reply
    // where there was one ("530 Login incorrect.", "no greeting within 60 s").
    std::string FailureReason() const;
    // `error`, as a call just returned it, with the facts it rests on.
    SessionOutcome Outcome(SessionError error) const;
    // A line of the module's own in the trace.
    void Note(std::string_view text) { trace_.Note(text); }

private:
    SessionError Connect(const std::string &host, uint16_t port);
    SessionError Greet();
    SessionError SendCredentials(const std::string &user, const std::string &password);
    SessionError SetUp();
    void LearnFeatures(const FtpReply &reply);
    // Explicit TLS: AUTH TLS after the greeting; implicit: from the first byte.
    SessionError SecureControl();
    SessionError StartTls();
    // Why the open failed, unless a reason is known already.
    SessionError LoginFailed(SessionError error);
    std::string ReasonFor(SessionError error) const;
    std::string ConnectReason(SessionError error) const;

    SessionError ListOnce(const std::string &path, CompactListing &entries);
    SessionError ListEntries(const std::string &path, CompactListing &entries);
    // After a listing with lines dropped: the names NLST adds (FtpSessionNames.cpp).
    SessionError ListNames(const std::string &path, CompactListing &entries);
    SessionError LearnKinds(const std::string &path, std::vector<ListingEntry> &names);
    SessionError EnterToLearn(const std::string &path, const std::vector<ListingEntry *> &unsure);
    SessionError ListWith(const std::string &command, ListingFormat format, CompactListing &entries);
    SessionError ReceiveListing(DataChannel &channel, ListingFormat format, CompactListing &entries);
    SessionError ReadListing(DataChannel &channel, ListingReader &reader);

    SessionError CommandOnce(const std::string &line, FtpReply &reply);
    SessionError OpenTransferOnce(const std::string &name, bool retrieve);
    // `askPort`: the retrieval follows at once, so its passive port goes along.
    SessionError ProbeRetrieval(const std::string &name, bool askSize, bool askPort, FtpReply &sizeReply);
    std::optional<uint64_t> SizeAnswered(const FtpReply &reply);

    Mutex callLock_;
    std::atomic<bool> stopped_{false};
    ClientTimeouts timeouts_;
    StreamFactory &streams_;
    SessionTrace trace_;
    ReplyChannel channel_;
    DataConnector connector_;
    std::unique_ptr<FtpTransfer> transfer_;  // from OpenTransfer to CloseTransfer; no command meanwhile

    TlsSettings tlsSettings_;
    // Shared with the data connector: data connections resume its session.
    std::shared_ptr<TlsClient> tls_;
    TlsCheck tlsCheck_;
    std::string host_;
    uint16_t port_ = 0;
    FtpReply loginReply_;
    std::string reason_;  // why the login failed, or a reason found on the way

    FeatureSet features_;
    bool useMlsd_ = true;
    bool useSize_ = true;
    // The answer to a "SIZE name" command, for a retrieval of that name that
    // comes next: FtpGetFileSize then needs no SIZE of its own, nor MDTM
    // (unanswered: nullopt). The next command of any other kind drops it.
    struct SizeProbe {
        std::string name;
        std::optional<uint64_t> size;
        std::optional<std::string> modified;
    };
    std::optional<SizeProbe> sizeProbe_;
    std::size_t listingLinesDropped_ = 0;
    std::size_t listingNamesAdded_ = 0;
    std::vector<std::string> unreadLines_;  // the first lines of the last listing that were dropped
    std::string listingNote_;
    // The answer to the PWD asked after the login or a folder change, for the
    // next command if it is PWD; any other command, or a transfer, drops it.
    std::optional<FtpReply> loginFolder_;
    // Where we are, checked (FtpSessionFolder.cpp): a CWD the server refused,
    // then the folder made for it on the strength of that refusal; and why a
    // change was found out of step.
    SessionError CheckFolderChange(const std::string &name, const std::optional<std::string> &from);
    void NoteFolderStep(const std::string &line, bool succeeded);
    std::optional<std::string> loginPath_;  // where the login landed, as its PWD said
    std::optional<std::string> refusedFolder_;
    std::optional<std::string> createdFolder_;
    std::string stepReason_;
    // The answer to the ABOR a retrieval closed early sent, for the host's
    // own ABOR if that comes next; any other command drops it.
    std::optional<FtpReply> abortAnswer_;

    // Recovery (FtpSessionRecovery.cpp): what a failure comes to, decided in
    // one place under one budget per host call; the folder a new session must
    // enter before anything else; the proof a resume needs.
    enum class Recovery { Fail, Reconnect, Resume };
    Recovery Decide(SessionError error) const;
    SessionError Recovering(const std::function<SessionError()> &call, bool entersAbsoluteFolder = false);
    void BeginCall();
    SessionError Reconnect();
    SessionError EnterFolder();
    SessionError Resume();
    SessionError ResumeHere();
    SessionError RecoveryFailed(SessionError error, std::string reason);
    SessionError ProveSameFile(std::optional<uint64_t> size, const std::string &modified);
    static bool IsAbsoluteFolderChange(const std::string &line);
    void FollowFolder(const std::string &line, const FtpReply &reply);
    std::string ModifiedTime(const std::string &name);
    struct Retrieval {
        std::string name;
        std::optional<uint64_t> size;
        std::string modified;  // MDTM's answer, where the server has it
        uint64_t delivered = 0;
        bool resumed = false;
    };
    bool recover_ = false;
    std::string user_;
    std::string password_;
    std::optional<std::string> folder_;  // absolute, as PWD said it or CWD made it
    bool folderUnknown_ = false;  // a relative CWD from a folder never named: no way back to it
    bool folderOwed_ = false;     // a new session is not yet in the host's folder
    std::string recoveryFailure_;  // why the folder or a resume failed, for the host
    uint64_t budgetCall_ = 0;     // the host call the budget below belongs to
    int loginsLeft_ = 0;
    int resumesLeft_ = 0;
    bool callTimedOut_ = false;   // a wait of this call ran out: no reconnect in it
    bool resumeNeedsDigest_ = false;  // a resume rests on the digest at the end
    bool storeCut_ = false;           // the last store was cut under it
    std::optional<Retrieval> retrieval_;

    // Following a file still being written (FtpSessionFollow.cpp): what the
    // stream has delivered, and what the server last said of the file.
    struct Growth {
        std::string name;
        std::optional<uint64_t> size;
        std::string modified;
        uint64_t delivered = 0;
        uint64_t quietFrom = 0;  // what was delivered when the quiet began
        Deadline quietEnds{};
        std::optional<SessionError> end;  // once followed to its end, or failed: every read says it
    };
    void StartFollowing(const std::string &name, std::optional<uint64_t> size, const std::string &modified);
    SessionError Follow(void *buffer, uint32_t size, uint32_t &received);
    SessionError ProveGrowthOnly(const SizeProbe &probe);
    SessionError FetchGrowth(uint64_t grownTo);
    SessionError NotFollowed(const std::string &reason);
    uint32_t followQuiet_ = 0;
    std::optional<Growth> growth_;

    // Verification: the digest of the bytes as they pass, and the server's.
    SessionError ReadPiece(void *buffer, uint32_t size, uint32_t &received);
    SessionError StartDigest(const std::string &name, bool retrieve);
    SessionError VerifyTransfer();
    SessionError AskDigest(FtpReply &reply);
    SessionError Unverified(const std::string &reason);
    Milliseconds DigestWait() const;
    VerifyMode verifyMode_ = VerifyMode::Off;
    bool checking_ = false;  // a transfer whose end is to be checked is open
    std::optional<DigestRequest> digestRequest_;
    std::unique_ptr<RunningDigest> digest_;
    std::string digestName_;  // the file, as the transfer command named it
    uint64_t digestBytes_ = 0;
    bool storing_ = false;
    std::optional<SessionError> verified_;  // the check's result, once made
    std::string verification_;
};

// "60 s", "0.3 s".
std::string SecondsText(Milliseconds wait);

}  // namespace sapi::ftpclient
