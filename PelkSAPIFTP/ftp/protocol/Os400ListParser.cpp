#include "ftp/protocol/Os400ListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

namespace {

// "02/23/00", "15.03.07", "2007-03-15": the system's date format.
bool IsOs400Date(std::string_view word) {
    if (word.size() != 8 && word.size() != 10) return false;
    std::size_t digits = 0;
    for (const char c : word) digits += IsDigitChar(c) ? 1u : 0u;
    return digits + 2 == word.size() && IsDigitChar(word[0]) && IsDigitChar(word.back());
}

bool IsFolderType(std::string_view type) { return type == "*DIR" || type == "*LIB" || type == "*FLR" || type == "*DDIR"; }

}  // namespace

std::optional<ListingEntry> ParseOs400ListLine(std::string_view line) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0]) || NextWord(line, pos).empty()) return std::nullopt;  // the owner
    std::string_view word = NextWord(line, pos);
    uint64_t size = 0;
    if (word.empty() || word[0] != '*') {
        const std::optional<uint64_t> number = ParseUnsigned64(word);
        if (!number || !IsOs400Date(NextWord(line, pos)) || !IsClock(NextWord(line, pos), true)) return std::nullopt;
        size = *number;
        word = NextWord(line, pos);
    }
    if (word.size() < 2 || word[0] != '*') return std::nullopt;
    const std::size_t nameBegin = SkipBlanks(line, pos);
    if (nameBegin >= line.size()) return std::nullopt;
    std::string_view name = line.substr(nameBegin);
    const bool folder = IsFolderType(word);
    if (folder && name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    if (word == "*MEM") name = name.substr(name.rfind('/') + 1);  // npos + 1 is 0
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    return ListingEntry{name, folder, folder ? 0 : size};
}

}  // namespace sapi::ftpclient
