// One logged-in FTP connection: its client-services handles, the listing it
// read last (folders and files apart, in server order), the folder it takes as
// current, and its read-test setting. Everything goes through FtpClientServices,
// so this code runs unchanged on WinInet and on the plug-in's own client.
#pragma once

#include <atomic>
#include <cstdint>

#include "ServerApi.h"
#include "base/ResultCode.h"
#include "ftp/TlsRequest.h"
#include "ftp/services/FtpClientServices.h"
#include "platform/WideNameList.h"
#include "platform/WideText.h"

namespace sapi {

// Constructed: never connected. Open: logged in, with both handles. Closed:
// its handles are gone (AbortServer, CloseServer, or a Connect that failed
// after the login); the listing and the folder stay, and whatever needs the
// server fails.
//
// Threads: the host's calls on one connection run one at a time. A call
// enters (EnterCall) and leaves (LeaveCall); the thread inside may enter again
// from a callback, and any other thread is turned away rather than made to
// wait, so no thread ever waits for one that may be running host code.
// CloseHandles alone may come from any thread at any time, and makes a call
// running meanwhile fail within a fraction of a second.
enum class ConnectionState { Constructed, Open, Closed };

class FtpConnection {
public:
    FtpConnection(void *hostContext, bool verifyByRead,
                  FtpClientServices &services = PlatformFtpClientServices());
    ~FtpConnection();
    FtpConnection(const FtpConnection &) = delete;
    FtpConnection &operator=(const FtpConnection &) = delete;

    // Connection core
    ResultCode Connect(const WideString &serverName, int32_t port, const WideString &userName,
                       const WideString &password, bool usePassive, const TlsRequest &tls = {});
    void CloseHandles();
    ResultCode RefreshListing(const WideChar *searchPattern);
    // An entry's name (its title too: the same text) under the copy-out rule,
    // decoded straight into the host's buffer.
    ResultCode FolderAt(int32_t index, WideChar *text, uint32_t *length) const;
    ResultCode AssetAt(int32_t index, WideChar *text, uint32_t *length) const;
    WideString CurrentFolder() const;
    ResultCode DeleteRemoteFile(const WideString &name);
    static void SAPI_WINAPI StatusCallback(InternetHandle handle, uintptr_t context, uint32_t status,
                                           void *information, uint32_t informationLength);

    // Folder navigation
    ResultCode ChangeCurrentFolder(const WideString &name);
    // PWD: false when the server gives no answer; at most 1024 characters kept.
    bool AskServerFolder(WideString &folder);

    // Asset information, downloads, uploads
    ResultCode GetAssetInfo(const WideString &name, int32_t parameterSet);
    int64_t QueryRemoteSize(const WideString &name);
    ResultCode ReadAsset(const WideString &name, ReadAssetCallback callback, void *context);
    ResultCode DownloadAsset(const WideString &remoteName, const WideString &localPath,
                             TransferProgressCallback progress, void *context);
    ResultCode WriteAsset(const WideString &remoteName, WriteAssetCallback callback, void *context);
    ResultCode UploadAsset(const WideString &remoteName, const WideString &localPath,
                           TransferProgressCallback progress, void *context);

    // Steps the transfers share (TransferSteps.cpp). FtpOpenFileW with the
    // connection as context value; null, with nothing sent, unless it is open.
    InternetHandle OpenRemoteFile(const WideString &name, uint32_t access, uint32_t flags);
    // "ABOR" on the control connection, unless it is closed; its answer is not examined.
    void SendAbort();

    // False, changing nothing, while another thread's call is inside.
    bool EnterCall();
    void LeaveCall();
    ConnectionState State() const { return state_; }
    bool IsOpen() const { return state_ == ConnectionState::Open; }
    // The client services every request goes through.
    FtpClientServices &Services() const { return services_; }
    const WideNameList &Folders() const { return folders_; }
    const WideNameList &Assets() const { return assets_; }
    bool VerifyByRead() const { return verifyByRead_; }
    // Off unless the host asks: without them the waits stay as hosts know them.
    // A confirmed end of a retrieval ends it at once.
    // A followed file's end is the client's to find: its confirmation is final.
    bool EndOnConfirmation() const { return endOnConfirmation_ || followOffered_; }
    void SetEndOnConfirmation(bool on) { endOnConfirmation_ = on; }
    // GetAssetInfo gives up on a permanent (5xx) refusal.
    bool StopOnRefusal() const { return stopOnRefusal_; }
    void SetStopOnRefusal(bool on) { stopOnRefusal_ = on; }
    // The client opens a connection the server dropped again, where it can.
    void SetReconnect(bool on) { reconnect_ = on; }
    // Retrievals follow a file that grows, until its size has stayed the same
    // for `seconds` (0: they end where the server ends them).
    void SetFollowGrowing(uint32_t seconds) { followGrowing_ = seconds; }
    // Transfers checked against the server's digests (Verification.cpp):
    // 0 off, 1 where the server offers one, 2 required; what each check found
    // goes into `parameterSet`, the set the connection was opened with.
    void SetVerification(uint32_t mode, int32_t parameterSet) {
        verifyMode_ = mode;
        verifyResultSet_ = parameterSet;
    }
    // Required, from a client that cannot ask (WinInet): every transfer fails
    // before it starts, as on a server that offers no digest.
    bool VerificationImpossible() const;
    // After a transfer: what its check found, for the host.
    void RecordVerification();
    // Why a TLS connection could not be made (the certificate's fault, or the
    // handshake's), in one line and the certificate's fingerprint; empty otherwise.
    const WideString &TlsFailure() const { return tlsFailure_; }
    // Why the last Connect failed, in one line; empty after a success.
    const WideString &Failure() const { return failure_; }

private:
    // One attempt; `reported`, how many bytes the host's progress has been
    // told of, across attempts.
    ResultCode UploadOnce(const WideString &remoteName, const WideString &localPath,
                          TransferProgressCallback progress, void *context, uint64_t &reported);
    // After a failed store: the client's recovery says to send it again.
    bool ClientSaysSendAgain();
    uintptr_t Context() const { return reinterpret_cast<uintptr_t>(this); }

    // Fields, in this order: the lists and the folder go after the handles.
    [[maybe_unused]] void *hostContext_;  // the module's buffer, as the host gave it
    std::atomic<uintptr_t> caller_ = 0;  // the thread whose call is inside; 0 for none
    int callDepth_ = 0;                  // its calls inside, re-entries counted; its own
    std::atomic<InternetHandle> internetHandle_ = nullptr;
    std::atomic<InternetHandle> ftpHandle_ = nullptr;  // set exactly while the state is Open
    std::atomic<ConnectionState> state_ = ConnectionState::Constructed;
    WideNameList folders_;
    WideNameList assets_;
    WideString currentFolder_;
    bool verifyByRead_;
    bool endOnConfirmation_ = false;
    bool stopOnRefusal_ = false;
    bool reconnect_ = false;
    uint32_t verifyMode_ = 0;
    int32_t verifyResultSet_ = 0;  // the set opened with: verify results and listing notes go there
    bool verifyOffered_ = false;  // the client services took the request
    uint32_t followGrowing_ = 0;
    bool followOffered_ = false;  // the client services follow growing files
    InternetStatusCallback previousStatusCallback_ = nullptr;
    FtpClientServices &services_;
    WideString tlsFailure_;
    WideString failure_;
};

}  // namespace sapi
