// The "SIZE " probe that precedes every retrieval. Its answer is only a hint
// for the host's progress display; no failure of it stops a transfer.
#include <algorithm>

#include "ftp/FtpConnection.h"
#include "ftp/TransferConstants.h"
#include "platform/RuntimeText.h"

namespace sapi {

int64_t FtpConnection::QueryRemoteSize(const WideString &name) {
    if (ftpHandle == nullptr) {
        return -1;
    }
    const WideString command = SAPI_WIDE("SIZE ") + name;
    if (!services.FtpCommand(ftpHandle, false, wininet::FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0,
                             nullptr)) {
        return -1;
    }
    WideChar reply[transfer::sizeReplyCapacity] = {};
    uint32_t length = transfer::sizeReplyCapacity;
    uint32_t error = 0;
    if (!services.InternetGetLastResponseInfo(&error, reply, &length)) {
        return -1;
    }
    // Only the characters the reply reported are read, never past the buffer,
    // and a terminator counted in the length is not taken for text:
    // "213 1048576" gives 1048576, "213 abc" gives 0, "550 ..." gives -1.
    WideView text(reply, std::min(length, transfer::sizeReplyCapacity));
    text = text.substr(0, text.find(WideChar{0}));
    if (text.size() <= 4 || text[0] != SAPI_WIDE('2')) {
        return -1;
    }
    return Wtoi64(WideString(text.substr(4)).c_str());
}

}  // namespace sapi
