// Steps the transfers share: opening a remote file on the connection and
// sending "ABOR" (members of FtpConnection, defined in TransferSteps.cpp), and
// reading one block with patience for empty reads.
#pragma once

#include <cstdint>

#include "ftp/FtpConnection.h"
#include "ftp/services/FtpClientServices.h"

namespace sapi::transfer {

struct BlockRead {
    bool succeeded = true;  // the last read call's answer
    uint32_t count = 0;     // bytes in the buffer; 0 at the end of the file
};

// One block: a read of the whole buffer and, while a read succeeds with no
// bytes, up to ten more, one second apart. The budget is per block. With
// endOnConfirmation, an empty read after which the client services report the
// server's confirmation of the end is the end: no retry could bring data.
BlockRead ReadBlock(FtpClientServices &services, InternetHandle file, void *buffer, uint32_t size,
                    bool endOnConfirmation);

// The server's last reply as InternetGetLastResponseInfo gives it, read into
// the probe's buffer of 261 characters; false when none fits.
bool LastReplyText(FtpClientServices &services, WideString &text);

}  // namespace sapi::transfer
