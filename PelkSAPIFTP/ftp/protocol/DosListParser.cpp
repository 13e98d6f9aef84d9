#include "ftp/protocol/DosListParser.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

// "01-02-24" or "01-02-2024" (also with '/').
bool IsDosDate(std::string_view word) {
    if (word.size() != 8 && word.size() != 10) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const bool separator = i == 2 || i == 5;
        if (separator ? (word[i] != '-' && word[i] != '/') : !IsDigitChar(word[i])) return false;
    }
    return true;
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
    if (!IsDosDate(NextWord(line, pos)) || !IsDosTime(NextWord(line, pos))) return std::nullopt;
    const std::string_view sizeOrDir = NextWord(line, pos);
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
        const std::optional<uint64_t> size = ParseUnsigned64(sizeOrDir);
        if (!size) return std::nullopt;
        entry.size = *size;
    }
    if (nameBegin >= line.size()) return std::nullopt;
    entry.name = line.substr(nameBegin);
    return entry;
}

}  // namespace sapi::ftpclient
