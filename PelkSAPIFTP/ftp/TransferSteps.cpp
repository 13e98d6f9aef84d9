#include "ftp/TransferSteps.h"

#include <algorithm>

#include "ftp/TransferConstants.h"
#include "platform/Sleep.h"

namespace sapi {

InternetHandle FtpConnection::OpenRemoteFile(const WideString &name, uint32_t access, uint32_t flags) {
    if (!IsOpen()) {
        return nullptr;
    }
    return services_.FtpOpenFile(ftpHandle_, name.c_str(), access, flags, Context());
}

void FtpConnection::SendAbort() {
    if (!IsOpen()) {
        return;
    }
    services_.FtpCommand(ftpHandle_, false, wininet::FTP_TRANSFER_TYPE_BINARY, SAPI_WIDE("ABOR"), 0, nullptr);
}

}  // namespace sapi

namespace sapi::transfer {

namespace {

// Client services that cannot tell (WinInet) answer no, and the caller waits.
bool ServerConfirmedEnd(FtpClientServices &services, InternetHandle file) {
    uint32_t confirmed = 0;
    uint32_t length = sizeof confirmed;
    return services.InternetQueryOption(file, TransferConfirmedOption, &confirmed, &length) &&
           length == sizeof confirmed && confirmed != 0;
}

}  // namespace

BlockRead ReadBlock(FtpClientServices &services, InternetHandle file, void *buffer, uint32_t size,
                    bool endOnConfirmation) {
    BlockRead block;
    block.succeeded = services.InternetReadFile(file, buffer, size, &block.count);
    // A server may be slow to start the data flowing, so an empty read is given
    // another chance. The final read of every file is empty too, which is why
    // each transfer that reaches the end waits through all ten retries, unless
    // the host let the server's confirmation of the end settle it.
    for (int retry = 0; retry < emptyReadRetries && block.succeeded && block.count == 0 &&
                        !(endOnConfirmation && ServerConfirmedEnd(services, file));
         ++retry) {
        SleepMilliseconds(retryWaitMilliseconds);
        block.succeeded = services.InternetReadFile(file, buffer, size, &block.count);
    }
    return block;
}

bool LastReplyText(FtpClientServices &services, WideString &text) {
    WideChar reply[sizeReplyCapacity] = {};
    uint32_t length = sizeReplyCapacity;
    uint32_t error = 0;
    if (!services.InternetGetLastResponseInfo(&error, reply, &length)) {
        return false;
    }
    // Only the characters the reply reported are read, never past the buffer,
    // and a terminator counted in the length is not taken for text.
    WideView view(reply, std::min(length, sizeReplyCapacity));
    text = WideString(view.substr(0, view.find(WideChar{0})));
    return true;
}

}  // namespace sapi::transfer
