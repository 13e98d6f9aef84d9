// One logged-in FTP connection: its client-services handles, the listing it
// read last (folders and files apart, in server order), the folder it takes as
// current, and its read-test setting. Everything goes through FtpClientServices,
// so this code runs unchanged on WinInet and on the plug-in's own client.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ServerApi.h"
#include "base/ResultCode.h"
#include "ftp/TlsRequest.h"
#include "ftp/services/FtpClientServices.h"
#include "platform/WideNameList.h"
#include "platform/WideText.h"

namespace sapi {

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
    ResultCode FolderAt(int32_t index, WideString &name, WideString &title) const;
    ResultCode AssetAt(int32_t index, WideString &name, WideString &title) const;
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

    // Fields, in this order; the transfer code reads ftpHandle and verifyByRead directly.
    void *hostContext;
    InternetHandle internetHandle = nullptr;
    InternetHandle ftpHandle = nullptr;
    WideNameList folders;
    WideNameList assets;
    WideString currentFolder;
    bool verifyByRead;
    // Off unless the host asks: without them the waits stay as hosts know them.
    bool endOnConfirmation = false;  // a confirmed end of a retrieval ends it at once
    bool stopOnRefusal = false;      // GetAssetInfo gives up on a permanent (5xx) refusal
    bool reconnect = false;          // the client opens a dropped connection again, where it can
    InternetStatusCallback previousStatusCallback = nullptr;

    // The client services every request goes through.
    FtpClientServices &services;

    // Re-entrancy: a host may call into the module from inside a callback of a
    // transfer on this connection. activeCalls counts the operations under way
    // (see ActiveCall.h); a CloseServer meanwhile unregisters the handle, closes
    // the handles and parks the object here, to be destroyed when the last
    // operation under way returns.
    int activeCalls = 0;
    std::unique_ptr<FtpConnection> retiredSelf;

    // Why a TLS connection could not be made (the certificate's fault, or the
    // handshake's), in one line and the certificate's fingerprint; empty otherwise.
    WideString tlsFailure;
    // Why the last Connect failed, in one line; empty after a success.
    WideString failure;

private:
    uintptr_t Context() const { return reinterpret_cast<uintptr_t>(this); }
};

}  // namespace sapi
