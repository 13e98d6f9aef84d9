#include "ClientTestSupport.h"

#include <array>

namespace ftpclienttest {

using namespace sapi;
using namespace sapi::wininet;

WideString Wide(const std::string &text) { return WideFromUtf8(text); }
std::string Narrow(const WideChar *text) { return Utf8FromWide(WideView(text)); }

ShortTimeouts::ShortTimeouts() {
    sapi::ftpclient::ClientTimeouts shortened;
    shortened.connect = sapi::ftpclient::Milliseconds{1000};
    shortened.receive = sapi::ftpclient::Milliseconds{300};
    shortened.send = sapi::ftpclient::Milliseconds{300};
    saved_ = sapi::ftpclient::SetTimeoutsForTesting(shortened);
}

ShortTimeouts::~ShortTimeouts() { sapi::ftpclient::SetTimeoutsForTesting(saved_); }

Client::Client() {
    root = services.InternetOpen(Wide("UserAgent").c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                                 INTERNET_FLAG_NO_CACHE_WRITE);
}

Client::~Client() {
    if (connect) services.InternetCloseHandle(connect);
    services.InternetCloseHandle(root);
}

bool Client::Connect(uint16_t port, bool passive, const std::string &host) {
    connect = services.InternetConnect(root, Wide(host).c_str(), port, Wide("test").c_str(),
                                       Wide("secret").c_str(), INTERNET_SERVICE_FTP,
                                       passive ? INTERNET_FLAG_PASSIVE : 0, 1);
    return connect != nullptr;
}

std::string Client::Response() {
    uint32_t error = 0;
    std::array<WideChar, 4096> buffer{};
    uint32_t length = static_cast<uint32_t>(buffer.size());
    if (!services.InternetGetLastResponseInfo(&error, buffer.data(), &length)) return "<no response info>";
    return Narrow(buffer.data());
}

bool Client::Command(const std::string &command) {
    return services.FtpCommand(connect, false, FTP_TRANSFER_TYPE_BINARY, Wide(command).c_str(), 0, nullptr);
}

InternetHandle Client::Open(const std::string &name, bool retrieve) {
    return services.FtpOpenFile(connect, Wide(name).c_str(), retrieve ? GENERIC_READ : GENERIC_WRITE,
                                0x84000002, 1);
}

bool Client::ReadAll(InternetHandle file, std::string &data) {
    std::array<char, 65536> buffer;
    for (;;) {
        uint32_t got = 0;
        if (!services.InternetReadFile(file, buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) {
            return false;
        }
        if (got == 0) return true;
        data.append(buffer.data(), got);
    }
}

}  // namespace ftpclienttest
