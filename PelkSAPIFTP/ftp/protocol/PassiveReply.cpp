#include "ftp/protocol/PassiveReply.h"

#include <array>

namespace sapi::ftpclient {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number of at most `maxDigits` digits at `pos`.
std::optional<uint32_t> ReadNumber(std::string_view text, std::size_t &pos, std::size_t maxDigits) {
    const std::size_t start = pos;
    uint32_t value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (pos - start == maxDigits) return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
        ++pos;
    }
    if (pos == start) return std::nullopt;
    return value;
}

std::optional<uint16_t> SixNumbersAt(std::string_view text, std::size_t pos) {
    std::array<uint32_t, 6> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != ',') return std::nullopt;
            ++pos;
        }
        const std::optional<uint32_t> number = ReadNumber(text, pos, 3);
        if (!number || *number > 255) return std::nullopt;
        numbers[i] = *number;
    }
    const uint32_t port = numbers[4] * 256 + numbers[5];
    if (port == 0) return std::nullopt;
    return static_cast<uint16_t>(port);
}

}  // namespace

std::optional<uint16_t> ParseExtendedPassivePort(std::string_view text) {
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || open + 5 > text.size()) return std::nullopt;
    const char delimiter = text[open + 1];
    if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter)) return std::nullopt;
    if (text[open + 2] != delimiter || text[open + 3] != delimiter) return std::nullopt;
    std::size_t pos = open + 4;
    const std::optional<uint32_t> port = ReadNumber(text, pos, 5);
    if (!port || *port == 0 || *port > 65535) return std::nullopt;
    if (pos >= text.size() || text[pos] != delimiter) return std::nullopt;
    return static_cast<uint16_t>(*port);
}

std::optional<uint16_t> ParsePassivePort(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (!IsDigit(text[pos]) || (pos > 0 && IsDigit(text[pos - 1]))) continue;
        if (std::optional<uint16_t> port = SixNumbersAt(text, pos)) return port;
    }
    return std::nullopt;
}

}  // namespace sapi::ftpclient
