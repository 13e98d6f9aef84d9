#include "ftp/TlsRequest.h"

#include <algorithm>

#include "ftp/services/WinInetConstants.h"

namespace sapi {

namespace {

bool SetText(FtpClientServices &services, InternetHandle root, uint32_t option, const WideString &text) {
    return text.empty() ||
           services.InternetSetOption(root, option, text.data(), static_cast<uint32_t>(text.size()));
}

}  // namespace

bool RequestTls(FtpClientServices &services, InternetHandle root, const TlsRequest &request) {
    if (!request.Wanted()) return true;
    return services.InternetSetOption(root, SAPI_OPTION_FTP_TLS_MODE, &request.mode, sizeof request.mode) &&
           SetText(services, root, SAPI_OPTION_FTP_TLS_CA_FILE, request.caFile) &&
           SetText(services, root, SAPI_OPTION_FTP_TLS_FINGERPRINT, request.fingerprint);
}

bool IsTlsFailure(uint32_t error) {
    using namespace wininet;
    return error == ERROR_INTERNET_SEC_CERT_DATE_INVALID || error == ERROR_INTERNET_SEC_CERT_CN_INVALID ||
           error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_ERRORS ||
           error == ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

WideString TlsFailureText(FtpClientServices &services) {
    WideChar text[1024] = {};
    uint32_t length = 1024;
    uint32_t error = 0;
    if (!services.InternetGetLastResponseInfo(&error, text, &length)) return {};
    return WideString(text, std::min<uint32_t>(length, 1023));
}

}  // namespace sapi
