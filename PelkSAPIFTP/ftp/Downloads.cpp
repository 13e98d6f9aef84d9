// Retrievals: a remote file streamed to the host (ReadAsset) or copied into a
// local file (DownloadAsset). Neither touches the listing or the current folder.
#include <utility>

#include "base/HostCallback.h"
#include "ftp/FtpConnection.h"
#include "ftp/RemoteFile.h"
#include "ftp/TransferBuffer.h"
#include "ftp/TransferConstants.h"
#include "ftp/TransferSteps.h"
#include "ftp/VerificationRecord.h"
#include "platform/LocalFile.h"

namespace sapi {

namespace {

// How a download's loop ended, for the result and the deletion rule.
struct DownloadEnd {
    uint64_t bytesWritten = 0;
    bool succeeded = true;
    bool cancelled = false;
};

DownloadEnd CopyToLocalFile(FtpConnection &connection, InternetHandle remote, LocalFile &local,
                            TransferBuffer &buffer, TransferProgressCallback progress, void *context,
                            int64_t totalSize) {
    DownloadEnd end;
    for (;;) {
        const transfer::BlockRead block = transfer::ReadBlock(connection.Services(), remote, buffer.Data(),
                                                              buffer.Size(), connection.EndOnConfirmation());
        if (!block.succeeded || block.count == 0) {
            end.succeeded = block.succeeded;
            return end;
        }
        if (!local.Write(buffer.Data(), block.count)) {
            end.succeeded = false;
            return end;
        }
        end.bytesWritten += block.count;
        if (progress != nullptr && !CallHostCallback(progress, context, block.count, totalSize)) {
            end.succeeded = false;
            end.cancelled = true;
            return end;
        }
        // The host may have closed or aborted the connection from its callback;
        // what is still to come can no longer arrive.
        if (!connection.IsOpen()) {
            end.succeeded = false;
            return end;
        }
    }
}

ResultCode DownloadResult(const DownloadEnd &end) {
    // A failed read or write is a failure even after some blocks were written:
    // the caller must not take a truncated file for a whole one.
    ResultCode result = end.succeeded ? ApiOk : ApiTransferFailed;
    if (end.bytesWritten == 0) {
        result = ApiTransferFailed;
    }
    if (end.cancelled) {
        result = ApiTransferCancelled;
    }
    return result;
}

// Deletes the local file of a download that did not finish, on every way out,
// an exhausted heap included: a half-written file must not pass for a whole one.
class UnfinishedFileRemover {
public:
    explicit UnfinishedFileRemover(const WideString &path) : path_(path) {}
    ~UnfinishedFileRemover() {
        try {
            RemoveNow();
        } catch (...) {  // nothing may leave a destructor; the file then stays
        }
    }
    UnfinishedFileRemover(const UnfinishedFileRemover &) = delete;
    UnfinishedFileRemover &operator=(const UnfinishedFileRemover &) = delete;

    // Armed once the file exists: a file that could not be made is not ours.
    void Arm() { armed_ = true; }
    void Keep() { armed_ = false; }
    void RemoveNow() {
        if (std::exchange(armed_, false)) {
            DeleteLocalFile(path_);
        }
    }

private:
    const WideString &path_;
    bool armed_ = false;
};

}  // namespace

ResultCode FtpConnection::ReadAsset(const WideString &name, ReadAssetCallback callback, void *context) {
    if (callback == nullptr) {
        return ApiInvalidArgument;
    }
    if (VerificationImpossible()) {
        return ApiTransferFailed;
    }
    const int64_t totalSize = QueryRemoteSize(name);
    const VerificationRecord record(*this);
    RemoteFile remote(services_, OpenRemoteFile(name, wininet::GENERIC_READ, transfer::uncachedBinaryFlags));
    if (!remote.IsOpen()) {
        return ApiRemoteOpenFailed;
    }
    TransferBuffer buffer(transfer::readAssetBufferSize);
    for (;;) {
        const transfer::BlockRead block =
            transfer::ReadBlock(services_, remote.Handle(), buffer.Data(), buffer.Size(), EndOnConfirmation());
        if (!block.succeeded) {
            // Bytes a failed read reported are not handed on, and the host must
            // not take the stream it got for the whole file. A file whose digest
            // differs from the server's ends here too, after the host got it all.
            return ApiTransferFailed;
        }
        if (block.count == 0 || !CallHostCallback(callback, context, buffer.Data(), block.count, totalSize)) {
            return ApiOk;
        }
        if (!IsOpen()) {
            return ApiTransferFailed;  // closed or aborted from the callback
        }
    }
}

ResultCode FtpConnection::DownloadAsset(const WideString &remoteName, const WideString &localPath,
                                        TransferProgressCallback progress, void *context) {
    if (VerificationImpossible()) {
        return ApiTransferFailed;
    }
    const int64_t totalSize = QueryRemoteSize(remoteName);
    const VerificationRecord record(*this);
    RemoteFile remote(services_,
                      OpenRemoteFile(remoteName, wininet::GENERIC_READ, transfer::uncachedBinaryFlags));
    if (!remote.IsOpen()) {
        return ApiRemoteOpenFailed;
    }
    // The buffer comes before the local file, so that running out of memory
    // cannot leave an emptied local file behind.
    TransferBuffer buffer(transfer::downloadBufferSize);
    // Declared before the file, so that on every way out the file is closed
    // before it is deleted.
    UnfinishedFileRemover remover(localPath);
    LocalFile local = LocalFile::CreateForWriting(localPath);
    if (!local.IsOpen()) {
        return ApiFailed;
    }
    remover.Arm();
    DownloadEnd end = CopyToLocalFile(*this, remote.Handle(), local, buffer, progress, context, totalSize);
    // A close that fails means the last bytes may never have reached the disk.
    if (!local.Close()) {
        end.succeeded = false;
    }
    const ResultCode result = DownloadResult(end);
    if (end.succeeded && end.bytesWritten > 0) {
        remover.Keep();
    }
    remover.RemoveNow();
    remote.Close();
    return result;
}

}  // namespace sapi
