// Stores: a host-fed stream (WriteAsset) or a local file (UploadAsset) written
// to the server, after which the listing is read anew. An upload reports
// success only when every byte was taken and the server confirmed the store.
#include <algorithm>

#include "base/HostCallback.h"
#include "ftp/FtpConnection.h"
#include "ftp/RemoteFile.h"
#include "ftp/TransferBuffer.h"
#include "ftp/TransferConstants.h"
#include "ftp/TransferSteps.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/VerificationRecord.h"
#include "platform/LocalFile.h"

namespace sapi {

namespace {

// How an upload's loop ended.
enum class UploadEnd { Complete, CancelledByHost, Failed };

// A block the server did not take whole is as lost as one whose write failed.
bool WriteWhole(FtpClientServices &services, InternetHandle remote, const void *data, uint32_t count) {
    uint32_t written = 0;
    return services.InternetWriteFile(remote, data, count, &written) && written == count;
}

UploadEnd SendStream(FtpConnection &connection, InternetHandle remote, TransferBuffer &buffer,
                     WriteAssetCallback callback, void *context) {
    for (;;) {
        uint32_t length = buffer.Size();
        if (!CallHostCallback(callback, context, buffer.Data(), &length)) {
            return UploadEnd::CancelledByHost;
        }
        if (length == 0) {
            return UploadEnd::Complete;
        }
        // More than the buffer holds cannot have been placed in it; nothing
        // past the buffer is read, and the stored file would be short.
        if (length > buffer.Size() || !connection.IsOpen() ||
            !WriteWhole(connection.Services(), remote, buffer.Data(), length)) {
            return UploadEnd::Failed;
        }
    }
}

// `reported`: the bytes the host was told of already; a file sent again
// after a lost connection shows progress only past them, so that the host
// sees one upload that reaches the file's size once.
UploadEnd SendLocalFile(FtpConnection &connection, InternetHandle remote, LocalFile &local, TransferBuffer &buffer,
                        TransferProgressCallback progress, void *context, uint64_t &reported) {
    const int64_t totalSize = static_cast<int64_t>(local.Size());
    uint64_t sent = 0;
    for (;;) {
        uint32_t count = 0;
        if (!local.Read(buffer.Data(), buffer.Size(), &count)) {
            return UploadEnd::Failed;
        }
        if (count == 0) {
            return UploadEnd::Complete;
        }
        if (!WriteWhole(connection.Services(), remote, buffer.Data(), count)) {
            return UploadEnd::Failed;
        }
        sent += count;
        const auto fresh = static_cast<uint32_t>(sent > reported ? std::min<uint64_t>(count, sent - reported) : 0);
        reported = std::max(reported, sent);
        if (progress != nullptr && fresh > 0 && !CallHostCallback(progress, context, fresh, totalSize)) {
            return UploadEnd::CancelledByHost;
        }
        if (!connection.IsOpen()) {
            return UploadEnd::Failed;  // closed or aborted from the callback
        }
    }
}

// The host that stops an upload knows it is partial and gets 0, as it always
// has; the partial file stays on the server. Otherwise a store the server did
// not confirm is a failure.
ResultCode UploadResult(UploadEnd end, bool storeConfirmed) {
    switch (end) {
    case UploadEnd::CancelledByHost:
        return ApiOk;
    case UploadEnd::Complete:
        return storeConfirmed ? ApiOk : ApiTransferFailed;
    case UploadEnd::Failed:
        break;
    }
    return ApiTransferFailed;
}

}  // namespace

ResultCode FtpConnection::WriteAsset(const WideString &remoteName, WriteAssetCallback callback, void *context) {
    if (callback == nullptr) {
        return ApiInvalidArgument;
    }
    if (VerificationImpossible()) {
        return ApiTransferFailed;
    }
    const VerificationRecord record(*this);
    RemoteFile remote(services_,
                      OpenRemoteFile(remoteName, wininet::GENERIC_WRITE, transfer::uncachedBinaryFlags));
    if (!remote.IsOpen()) {
        return ApiFailed;
    }
    TransferBuffer buffer(transfer::writeAssetBufferSize);
    const UploadEnd end = SendStream(*this, remote.Handle(), buffer, callback, context);
    const bool storeConfirmed = remote.Close();
    RefreshListing(nullptr);
    return UploadResult(end, storeConfirmed);
}

ResultCode FtpConnection::UploadAsset(const WideString &remoteName, const WideString &localPath,
                                      TransferProgressCallback progress, void *context) {
    if (VerificationImpossible()) {
        return ApiTransferFailed;
    }
    const VerificationRecord record(*this);
    uint64_t reported = 0;
    ResultCode result = UploadOnce(remoteName, localPath, progress, context, reported);
    // The store was cut under the upload and the client, which reconnects,
    // says it may go again (its recovery decides, within the call's budget):
    // the local file is still there, so it goes once more, whole. A stream
    // the host fed (WriteAsset) cannot be sent twice.
    if (result == ApiTransferFailed && reconnect_ && IsOpen() && ClientSaysSendAgain()) {
        result = UploadOnce(remoteName, localPath, progress, context, reported);
    }
    return result;
}

ResultCode FtpConnection::UploadOnce(const WideString &remoteName, const WideString &localPath,
                                     TransferProgressCallback progress, void *context, uint64_t &reported) {
    // The local file first: opening the remote one for writing creates or
    // empties it, which must not happen for a file we cannot send.
    LocalFile local = LocalFile::OpenForReading(localPath);
    if (!local.IsOpen()) {
        return ApiFailed;
    }
    RemoteFile remote(services_, OpenRemoteFile(remoteName, wininet::GENERIC_WRITE, transfer::uploadFlags));
    if (!remote.IsOpen()) {
        return ApiFailed;
    }
    TransferBuffer buffer(transfer::uploadBufferSize);
    const UploadEnd end = SendLocalFile(*this, remote.Handle(), local, buffer, progress, context, reported);
    local.Close();
    const bool storeConfirmed = remote.Close();
    RefreshListing(nullptr);
    return UploadResult(end, storeConfirmed);
}

bool FtpConnection::ClientSaysSendAgain() {
    uint32_t again = 0;
    uint32_t length = sizeof again;
    return services_.InternetQueryOption(ftpHandle_, SAPI_OPTION_FTP_SEND_AGAIN, &again, &length) && again == 1;
}

}  // namespace sapi
