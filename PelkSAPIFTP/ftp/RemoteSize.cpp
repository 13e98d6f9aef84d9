// The "SIZE " probe that precedes every retrieval. Its answer is only a hint
// for the host's progress display; no failure of it stops a transfer.
#include "ftp/FtpConnection.h"
#include "ftp/TransferConstants.h"
#include "ftp/TransferSteps.h"
#include "platform/RuntimeText.h"

namespace sapi {

int64_t FtpConnection::QueryRemoteSize(const WideString &name) {
    if (!IsOpen()) {
        return -1;
    }
    const WideString command = SAPI_WIDE("SIZE ") + name;
    if (!services_.FtpCommand(ftpHandle_, false, wininet::FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0,
                             nullptr)) {
        return -1;
    }
    WideString text;
    if (!transfer::LastReplyText(services_, text)) {
        return -1;
    }
    // "213 1048576" gives 1048576, "213 abc" gives 0, "550 ..." gives -1.
    if (text.size() <= 4 || text[0] != SAPI_WIDE('2')) {
        return -1;
    }
    return Wtoi64(text.substr(4).c_str());
}

}  // namespace sapi
