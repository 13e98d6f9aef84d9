#include "ftp/services/sockets/TlsSettings.h"

#include <cctype>

namespace sapi::ftpclient {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

std::string WithoutPrefix(const std::string &text) {
    const std::size_t equals = text.find('=');
    return equals == std::string::npos ? text : text.substr(equals + 1);
}

}  // namespace

std::optional<Fingerprint> ParseFingerprint(const std::string &text) {
    Fingerprint fingerprint{};
    std::size_t digits = 0;
    for (const char c : WithoutPrefix(text)) {
        if (c == ':' || c == ' ') continue;
        const int value = HexValue(c);
        if (value < 0 || digits >= 2 * fingerprint.size()) return std::nullopt;
        uint8_t &byte = fingerprint[digits / 2];
        byte = static_cast<uint8_t>(byte << 4 | value);
        ++digits;
    }
    if (digits != 2 * fingerprint.size()) return std::nullopt;
    return fingerprint;
}

std::string FingerprintText(const Fingerprint &fingerprint) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (const uint8_t byte : fingerprint) {
        if (!text.empty()) text += ':';
        text += hex[byte >> 4];
        text += hex[byte & 0xF];
    }
    return text;
}

}  // namespace sapi::ftpclient
