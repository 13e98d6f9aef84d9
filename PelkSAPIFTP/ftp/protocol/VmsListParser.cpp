#include "ftp/protocol/VmsListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MonthNames.h"

namespace sapi::ftpclient {

namespace {

// "8-JUN-2004", "12-JAN-2005"
bool IsVmsDate(std::string_view word) {
    const std::size_t first = word.find('-');
    const std::size_t second = word.rfind('-');
    if (first == 0 || first > 2 || second != first + 4 || word.size() != second + 5) return false;
    return AllDigits(word.substr(0, first)) && IsMonthName(word.substr(first + 1, 3)) &&
           AllDigits(word.substr(second + 1));
}

// "4/6" or "4": blocks used (and allocated).
std::optional<uint64_t> BlocksUsed(std::string_view word) {
    const std::size_t slash = word.find('/');
    if (slash != std::string_view::npos && !AllDigits(word.substr(slash + 1))) return std::nullopt;
    return ParseUnsigned64(word.substr(0, slash));
}

// "INDEX.HTML;3": a name and its version.
bool IsVersionedName(std::string_view name) {
    const std::size_t semicolon = name.rfind(';');
    return semicolon != 0 && semicolon != std::string_view::npos && AllDigits(name.substr(semicolon + 1));
}

}  // namespace

std::optional<ListingEntry> ParseVmsListLine(std::string_view line) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0])) return std::nullopt;
    const std::string_view name = NextWord(line, pos);
    if (!IsVersionedName(name)) return std::nullopt;
    const std::size_t semicolon = name.rfind(';');
    const std::optional<uint64_t> blocks = BlocksUsed(NextWord(line, pos));
    if (!blocks || !IsVmsDate(NextWord(line, pos))) return std::nullopt;
    ListingEntry entry;
    entry.name = name;
    entry.size = *blocks * 512;
    const std::string_view stem = name.substr(0, semicolon);
    if (stem.size() > 4 && EqualsIgnoringCase(stem.substr(stem.size() - 4), ".DIR")) {
        entry.isDirectory = true;
        entry.name = stem.substr(0, stem.size() - 4);
        entry.size = 0;
    }
    return entry;
}

bool IsVmsNameAlone(std::string_view line) {
    std::size_t pos = 0;
    return !line.empty() && !IsBlank(line[0]) && IsVersionedName(NextWord(line, pos)) && SkipBlanks(line, pos) == line.size();
}

bool IsVmsHeader(std::string_view line) {
    return line.starts_with("Directory ") || line.starts_with("Total of ") || line.starts_with("Grand total of ");
}

}  // namespace sapi::ftpclient
