#include "ftp/TransferSteps.h"

#include "ftp/TransferConstants.h"
#include "platform/Sleep.h"

namespace sapi::transfer {

InternetHandle OpenRemoteFile(FtpConnection &connection, const WideString &name, uint32_t access,
                              uint32_t flags) {
    if (connection.ftpHandle == nullptr) {
        return nullptr;
    }
    return connection.services.FtpOpenFile(connection.ftpHandle, name.c_str(), access, flags,
                                           reinterpret_cast<uintptr_t>(&connection));
}

void SendAbort(FtpConnection &connection) {
    if (connection.ftpHandle == nullptr) {
        return;
    }
    connection.services.FtpCommand(connection.ftpHandle, false, wininet::FTP_TRANSFER_TYPE_BINARY,
                                   SAPI_WIDE("ABOR"), 0, nullptr);
}

BlockRead ReadBlock(FtpClientServices &services, InternetHandle file, void *buffer, uint32_t size) {
    BlockRead block;
    block.succeeded = services.InternetReadFile(file, buffer, size, &block.count);
    // A server may be slow to start the data flowing, so an empty read is given
    // another chance. The final read of every file is empty too, which is why
    // each transfer that reaches the end waits through all ten retries.
    for (int retry = 0; retry < emptyReadRetries && block.succeeded && block.count == 0; ++retry) {
        SleepMilliseconds(retryWaitMilliseconds);
        block.succeeded = services.InternetReadFile(file, buffer, size, &block.count);
    }
    return block;
}

}  // namespace sapi::transfer
