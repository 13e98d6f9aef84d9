// Tells the host what the check of a transfer found, on every way out of the
// transfer: declared before the remote file, it records after that is closed
// (a store is checked when it closes).
#pragma once

#include "ftp/FtpConnection.h"

namespace sapi {

class VerificationRecord {
public:
    explicit VerificationRecord(FtpConnection &connection) : connection_(connection) {}
    ~VerificationRecord() {
        try {
            connection_.RecordVerification();
        } catch (...) {  // nothing may leave a destructor; the host then reads no result
        }
    }
    VerificationRecord(const VerificationRecord &) = delete;
    VerificationRecord &operator=(const VerificationRecord &) = delete;

private:
    FtpConnection &connection_;
};

}  // namespace sapi
