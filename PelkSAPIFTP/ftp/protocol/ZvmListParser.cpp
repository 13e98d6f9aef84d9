#include "ftp/protocol/ZvmListParser.h"

#include <string>

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

namespace {

// "2004-03-11", "3/11/04"
bool IsZvmDate(std::string_view word) {
    std::size_t separators = 0;
    for (const char c : word) {
        if (c == '-' || c == '/') {
            ++separators;
        } else if (!IsDigitChar(c)) {
            return false;
        }
    }
    return separators == 2 && word.size() >= 6 && word.size() <= 10;
}

bool IsCountOrDash(std::string_view word) { return word == "-" || AllDigits(word); }

// A CMS file name or type: up to eight characters, never a dot, which the
// joined "NAME.TYPE" uses to part them.
bool IsCmsWord(std::string_view word) {
    return !word.empty() && word.size() <= 8 && word.find('.') == std::string_view::npos;
}

}  // namespace

std::optional<ListingEntry> ParseZvmListLine(std::string_view line, std::string &joined) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0])) return std::nullopt;
    const std::string_view name = NextWord(line, pos);
    const std::string_view type = NextWord(line, pos);
    const std::string_view format = NextWord(line, pos);
    const std::string_view length = NextWord(line, pos);
    const std::string_view records = NextWord(line, pos);
    if (!IsCmsWord(name) || !IsCmsWord(type) || (format != "F" && format != "V" && format != "-") ||
        !IsCountOrDash(length) || !IsCountOrDash(records) || !IsCountOrDash(NextWord(line, pos)) ||
        !IsZvmDate(NextWord(line, pos)) || !IsClock(NextWord(line, pos), true)) {
        return std::nullopt;
    }
    if (type == "DIR") return ListingEntry{name, true, 0};
    joined.assign(name).append(1, '.').append(type);
    const uint64_t size = ParseUnsigned64(length).value_or(0) * ParseUnsigned64(records).value_or(0);
    return ListingEntry{joined, false, size};
}

}  // namespace sapi::ftpclient
