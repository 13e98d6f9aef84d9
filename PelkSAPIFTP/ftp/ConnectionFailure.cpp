#include "ftp/ConnectionFailure.h"

#include <algorithm>
#include <string>

#include "ftp/services/WinInetConstants.h"

namespace sapi {

using namespace sapi::wininet;

WideString LastResponseText(FtpClientServices &services) {
    WideChar text[1024] = {};
    uint32_t length = 1024;
    uint32_t error = 0;
    if (!services.InternetGetLastResponseInfo(&error, text, &length)) return {};
    WideString response(text, std::min<uint32_t>(length, 1023));
    response.resize(std::min(response.size(), response.find(WideChar{0})));
    return response;
}

bool IsConnectionGone(uint32_t error) {
    return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CONNECTION_ABORTED ||
           error == ERROR_INTERNET_CONNECTION_RESET;
}

namespace {

WideString FirstLine(WideString text) {
    const std::size_t end = text.find_first_of(SAPI_WIDE("\r\n"));
    if (end != WideString::npos) text.resize(end);
    return text;
}

std::string MeaningOf(uint32_t error, const std::string &where) {
    switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the server's name does not resolve";
    case ERROR_INTERNET_CANNOT_CONNECT: return "no connection to " + where;
    case ERROR_INTERNET_TIMEOUT: return where + " did not answer in time";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return "the connection to " + where + " was lost";
    case ERROR_INTERNET_INCORRECT_USER_NAME:
    case ERROR_INTERNET_INCORRECT_PASSWORD:
    case ERROR_INTERNET_LOGIN_FAILURE: return "the server refused the user name or password";
    default: return "the connection failed (error " + std::to_string(error) + ")";
    }
}

}  // namespace

WideString FailureText(FtpClientServices &services, const WideString &serverName, int32_t port) {
    const uint32_t error = services.GetLastError();
    WideString text = FirstLine(LastResponseText(services));
    if (!text.empty()) return text;
    const std::string where = Utf8FromWide(serverName) + " port " + std::to_string(port == 0 ? 21 : port);
    return WideFromUtf8(MeaningOf(error, where));
}

}  // namespace sapi
