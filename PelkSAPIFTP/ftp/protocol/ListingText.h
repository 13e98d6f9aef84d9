// Small helpers shared by the listing parsers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sapi::ftpclient {

inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }
// Most bytes of a line lie above ' ': for them, one compare.
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' ' && (c == ' ' || c == '\t'); }

// Inline: an MLSD line asks it of each of its facts.
inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The position of the first byte at or after pos that is not a blank.
inline std::size_t SkipBlanks(std::string_view line, std::size_t pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return pos;
}

// Reads one blank-separated word at pos and moves pos past it; empty at the
// end of the line. Inline, as AllDigits: a listing line calls them a dozen
// times, a million lines a listing.
inline std::string_view NextWord(std::string_view line, std::size_t &pos) {
    const std::size_t begin = SkipBlanks(line, pos);
    for (pos = begin; pos < line.size() && !IsBlank(line[pos]);) ++pos;
    return line.substr(begin, pos - begin);
}

// At most `bytes` of the text, for a person to read: control bytes become
// "\x01", "..." marks a cut; other bytes (a UTF-8 name) stay as they are.
std::string PrintableExcerpt(std::string_view text, std::size_t bytes);

// Whole text of ASCII digits, at least one.
inline bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigitChar(c)) return false;
    }
    return true;
}

// A decimal number made of the whole text, 64-bit; nothing on overflow.
// Nineteen digits always fit, twenty up to UINT64_MAX's own, so only a number
// of twenty digits is checked, once, before it is read. Inline too: out of
// line, its optional came back through memory, a stall for each size read.
inline std::optional<uint64_t> ParseUnsigned64(std::string_view text) {
    if (!AllDigits(text) || text.size() > 20) return std::nullopt;
    if (text.size() == 20 && text > "18446744073709551615") return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<uint64_t>(c - '0');
    return value;
}

}  // namespace sapi::ftpclient
