#include "ftp/protocol/DosListParser.h"

#include <string>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

// "01-02-24" or "01-02-2024" (also with '/'), or "2002-09-02".
bool IsDosDate(std::string_view word) {
    if (word.size() != 8 && word.size() != 10) return false;
    const bool yearFirst = word.size() == 10 && word[4] == word[7] && (word[4] == '-' || word[4] == '/');
    for (std::size_t i = 0; i < word.size(); ++i) {
        const bool separator = yearFirst ? i == 4 || i == 7 : i == 2 || i == 5;
        if (separator ? (word[i] != '-' && word[i] != '/') : !IsDigitChar(word[i])) return false;
    }
    return true;
}

bool IsHalfDay(std::string_view word) {
    return word.size() == 2 && (word[0] == 'A' || word[0] == 'P' || word[0] == 'a' || word[0] == 'p') &&
           (word[1] == 'M' || word[1] == 'm');
}

// "1,234", "12.345.678": groups of three after the first, one separator.
std::optional<uint64_t> ThousandsSize(std::string_view word) {
    const std::size_t first = word.find_first_of(",.");
    if (first == 0 || first > 3 || first == std::string_view::npos) return std::nullopt;
    const char separator = word[first];
    std::string digits(word.substr(0, first));
    for (std::size_t at = first; at < word.size(); at += 4) {
        if (word[at] != separator || word.size() < at + 4 || !AllDigits(word.substr(at + 1, 3))) return std::nullopt;
        digits.append(word.substr(at + 1, 3));
    }
    return ParseUnsigned64(digits);
}

// "03:04AM", "03:04 PM" is not produced by IIS; "15:04" is (24-hour setting).
bool IsDosTime(std::string_view word) {
    if (word.size() != 5 && word.size() != 7) return false;
    if (!IsDigitChar(word[0]) || !IsDigitChar(word[1]) || word[2] != ':' || !IsDigitChar(word[3]) ||
        !IsDigitChar(word[4])) {
        return false;
    }
    if (word.size() == 5) return true;
    return (word[5] == 'A' || word[5] == 'P' || word[5] == 'a' || word[5] == 'p') &&
           (word[6] == 'M' || word[6] == 'm');
}

}  // namespace

std::optional<ListingEntry> ParseDosListLine(std::string_view line) {
    std::size_t pos = 0;
    if (!IsDosDate(NextWord(line, pos))) return std::nullopt;
    const std::string_view time = NextWord(line, pos);
    if (!IsDosTime(time)) return std::nullopt;
    std::string_view sizeOrDir = NextWord(line, pos);
    if (time.size() == 5 && IsHalfDay(sizeOrDir)) sizeOrDir = NextWord(line, pos);
    ListingEntry entry;
    std::size_t nameBegin = pos + 1;
    if (sizeOrDir == "<DIR>") {
        entry.isDirectory = true;
        constexpr std::size_t padding = 10;
        const std::string_view rest = line.substr(pos);
        const std::size_t blanks = rest.find_first_not_of(" \t");
        if (blanks == std::string_view::npos) return std::nullopt;
        nameBegin = pos + (blanks >= padding ? padding : blanks);
    } else {
        std::optional<uint64_t> size = ParseUnsigned64(sizeOrDir);
        if (!size) size = ThousandsSize(sizeOrDir);
        if (!size) return std::nullopt;
        entry.size = *size;
    }
    if (nameBegin >= line.size()) return std::nullopt;
    entry.name = line.substr(nameBegin);
    return entry;
}

}  // namespace sapi::ftpclient
