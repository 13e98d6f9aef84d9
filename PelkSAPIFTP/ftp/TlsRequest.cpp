#include "ftp/TlsRequest.h"

#include <algorithm>

#include "ftp/ConnectionFailure.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi {

namespace {

bool SetText(FtpClientServices &services, InternetHandle root, uint32_t option, const WideString &text) {
    return text.empty() ||
           services.InternetSetOption(root, option, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace

bool RequestTls(FtpClientServices &services, InternetHandle root, const TlsRequest &request, WideString &reason) {
    if (!request.Wanted()) return true;
    if (!request.invalidMode.empty()) {
        reason = SAPI_WIDE("ServerUseTLS is \"") + request.invalidMode +
                 SAPI_WIDE("\": it takes 0 (no TLS), 1 (explicit FTPS) or 2 (implicit FTPS)");
        return false;
    }
    const char *refused = nullptr;
    if (!services.InternetSetOption(root, SAPI_OPTION_FTP_TLS_MODE, &request.mode, sizeof request.mode)) {
        refused = "this module's FTP client has no TLS";
    } else if (!SetText(services, root, SAPI_OPTION_FTP_TLS_CA_FILE, request.caFile)) {
        refused = "the CA file cannot be used";
    } else if (!SetText(services, root, SAPI_OPTION_FTP_TLS_FINGERPRINT, request.fingerprint)) {
        refused = "the pin is not a SHA-256 fingerprint (64 hex digits)";
    }
    if (refused != nullptr) reason = WideFromAscii(refused);
    return refused == nullptr;
}

bool IsTlsFailure(uint32_t error) {
    using namespace wininet;
    return error == ERROR_INTERNET_SEC_CERT_DATE_INVALID || error == ERROR_INTERNET_SEC_CERT_CN_INVALID ||
           error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_ERRORS ||
           error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

WideString TlsFailureText(FtpClientServices &services) { return LastResponseText(services); }

}  // namespace sapi
