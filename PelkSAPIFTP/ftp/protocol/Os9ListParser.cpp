#include "ftp/protocol/Os9ListParser.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

bool IsOwner(std::string_view word) {
    const std::size_t dot = word.find('.');
    return dot != std::string_view::npos && AllDigits(word.substr(0, dot)) && AllDigits(word.substr(dot + 1));
}

// "04/03/15" and "1340"
bool IsOs9DateAndTime(std::string_view date, std::string_view time) {
    return date.size() == 8 && date[2] == '/' && date[5] == '/' && AllDigits(date.substr(0, 2)) &&
           AllDigits(date.substr(3, 2)) && AllDigits(date.substr(6)) && time.size() == 4 && AllDigits(time);
}

bool IsHex(std::string_view word) {
    for (const char c : word) {
        if (!IsDigitChar(c) && !((c | 0x20) >= 'a' && (c | 0x20) <= 'f')) return false;
    }
    return !word.empty();
}

}  // namespace

std::optional<ListingEntry> ParseOs9ListLine(std::string_view line) {
    std::size_t pos = 0;
    if (!IsOwner(NextWord(line, pos))) return std::nullopt;
    const std::string_view date = NextWord(line, pos);
    if (!IsOs9DateAndTime(date, NextWord(line, pos))) return std::nullopt;
    const std::string_view attributes = NextWord(line, pos);
    if (attributes.size() != 8 || attributes.find_first_not_of("dsewr-") != std::string_view::npos) return std::nullopt;
    if (!IsHex(NextWord(line, pos))) return std::nullopt;
    const std::optional<uint64_t> size = ParseUnsigned64(NextWord(line, pos));
    if (!size || pos + 1 >= line.size()) return std::nullopt;
    const bool folder = attributes[0] == 'd';
    return ListingEntry{line.substr(pos + 1), folder, folder ? 0 : *size};
}

bool IsOs9Header(std::string_view line) {
    std::size_t pos = 0;
    const std::string_view first = NextWord(line, pos);
    return (first == "Owner" && NextWord(line, pos) == "Last") || (first.size() > 3 && first.find_first_not_of('-') == std::string_view::npos);
}

}  // namespace sapi::ftpclient
