// Verified transfers, as the host sees them. The client services check each
// transfer against the server's digest and fail the read at the end, or the
// close of a store, on a mismatch; here the connection tells the host what
// each check found. A client that cannot ask for digests (WinInet) is taken
// as a server that offers none: with verification required, nothing is
// transferred at all.
#include "ftp/FtpConnection.h"
#include "ftp/services/TlsOptions.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"

namespace sapi {

namespace {

constexpr uint32_t verifyRequired = 2;
constexpr uint32_t maxVerificationCharacters = 1024;

const WideChar *const cannotAsk = SAPI_WIDE("not verified: this build's FTP client cannot ask for digests");

WideString QueryVerification(FtpClientServices &services, InternetHandle connect) {
    WideChar text[maxVerificationCharacters] = {};
    uint32_t length = sizeof text - sizeof(WideChar);
    if (!services.InternetQueryOption(connect, SAPI_OPTION_FTP_VERIFICATION, text, &length)) return {};
    return WideString(text, length / sizeof(WideChar));
}

}  // namespace

bool FtpConnection::VerificationImpossible() const {
    if (verifyMode_ != verifyRequired || verifyOffered_) return false;
    WriteOrRemoveParameter(verifyResultSet_, ServerVerifyResultKey, cannotAsk);
    return true;
}

void FtpConnection::RecordVerification() {
    if (verifyMode_ == 0) return;
    const WideString text = verifyOffered_ ? QueryVerification(services_, ftpHandle_) : WideString(cannotAsk);
    WriteOrRemoveParameter(verifyResultSet_, ServerVerifyResultKey, text);
}

}  // namespace sapi
