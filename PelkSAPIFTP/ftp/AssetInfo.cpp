// What the host learns of one remote file before it fetches it: its size and,
// when the connection asks for it, whether any data can be read yet. Failures
// show in the keys written, not in the result.
#include "ftp/FtpConnection.h"
#include "ftp/RemoteFile.h"
#include "ftp/TransferConstants.h"
#include "ftp/TransferSteps.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"
#include "platform/RuntimeText.h"
#include "platform/Sleep.h"

namespace sapi {

namespace {

// A server still busy with an earlier transfer, or one that answered the
// retrieval with an error reply, may do better a moment later.
bool IsRetriedOpenError(uint32_t error) {
    return error == wininet::ERROR_FTP_TRANSFER_IN_PROGRESS || error == wininet::ERROR_INTERNET_EXTENDED_ERROR;
}

// "550 No such file": asking again will not make the file appear. Read only
// when the host asked for it, so that without it the traffic stays as it was.
bool IsPermanentRefusal(FtpConnection &connection, uint32_t error) {
    WideString reply;
    return connection.StopOnRefusal() && error == wininet::ERROR_INTERNET_EXTENDED_ERROR &&
           transfer::LastReplyText(connection.Services(), reply) && !reply.empty() && reply[0] == SAPI_WIDE('5');
}

InternetHandle OpenWithRetries(FtpConnection &connection, const WideString &name) {
    for (int attemptsLeft = transfer::openAttempts; attemptsLeft > 0; --attemptsLeft) {
        InternetHandle file = connection.OpenRemoteFile(name, wininet::GENERIC_READ, transfer::uncachedBinaryFlags);
        const uint32_t error = file == nullptr ? connection.Services().GetLastError() : wininet::ERROR_SUCCESS;
        if (file != nullptr || !IsRetriedOpenError(error) || IsPermanentRefusal(connection, error)) {
            return file;
        }
        connection.SendAbort();
        SleepMilliseconds(transfer::retryWaitMilliseconds);
    }
    return nullptr;
}

// The size as decimal digits; empty text when the size cannot be had.
WideString SizeText(FtpClientServices &services, InternetHandle file) {
    uint32_t high = 0;
    const uint32_t low = services.FtpGetFileSize(file, &high);
    if (low == wininet::INVALID_FILE_SIZE && services.GetLastError() != wininet::ERROR_SUCCESS) {
        return {};
    }
    return I64ToW(static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low));
}

// One read of at most 32 bytes: does the file give any data yet?
bool TrialReadGetsData(FtpClientServices &services, const RemoteFile &file) {
    if (!file.IsOpen()) {
        return false;
    }
    unsigned char buffer[transfer::trialReadSize];
    uint32_t count = 0;
    return services.InternetReadFile(file.Handle(), buffer, sizeof buffer, &count) && count > 0;
}

// A file still being written, seen by its size a second apart. A second is
// about what a writer that has paused for longer than that has finished.
bool GrowsWithin(FtpConnection &connection, const WideString &name, int64_t sizeBefore) {
    if (sizeBefore < 0 || !connection.IsOpen()) return false;
    SleepMilliseconds(transfer::retryWaitMilliseconds);
    return connection.IsOpen() && connection.QueryRemoteSize(name) > sizeBefore;
}

}  // namespace

ResultCode FtpConnection::GetAssetInfo(const WideString &name, int32_t parameterSet) {
    if (!IsOpen()) {
        // Aborted: nothing can be read, and a size left in the set by an earlier
        // call must not pass for this file's.
        SetParameterText(parameterSet, AssetSizeKey, SAPI_WIDE(""));
    } else {
        // Sent for the server's sake; the size comes from the open file.
        const int64_t sizeBefore = QueryRemoteSize(name);
        RemoteFile file(services_, OpenWithRetries(*this, name));
        const WideString sizeText = file.IsOpen() ? SizeText(services_, file.Handle()) : WideString();
        SetParameterText(parameterSet, AssetSizeKey, sizeText.c_str());
        if (verifyByRead_ && !TrialReadGetsData(services_, file)) {
            SetParameterText(parameterSet, UnderConstructionKey, SAPI_WIDE("1"));
        }
        file.Close();
        // The retrieval was only opened to look at the file: stop it.
        SendAbort();
        if (followOffered_ && GrowsWithin(*this, name, sizeBefore)) {
            SetParameterText(parameterSet, UnderConstructionKey, SAPI_WIDE("1"));
        }
    }
    return SetParameterText(parameterSet, AssetNameKey, name.c_str());
}

}  // namespace sapi
