#include "ftp/protocol/TandemListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MonthNames.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

namespace {

// "16-Jan-03"
bool IsTandemDate(std::string_view word) {
    const std::size_t first = word.find('-');
    return first != std::string_view::npos && first > 0 && first <= 2 && word.size() == first + 7 &&
           word[first + 4] == '-' && AllDigits(word.substr(0, first)) && IsMonthName(word.substr(first + 1, 3)) &&
           AllDigits(word.substr(first + 5));
}

}  // namespace

std::optional<ListingEntry> ParseTandemListLine(std::string_view line) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0])) return std::nullopt;
    const std::string_view name = NextWord(line, pos);
    const std::string_view code = NextWord(line, pos);
    const std::optional<uint64_t> size = ParseUnsigned64(NextWord(line, pos));
    if (code.empty() || !IsDigitChar(code[0]) || !size || !IsTandemDate(NextWord(line, pos)) ||
        !IsClock(NextWord(line, pos), true)) {
        return std::nullopt;
    }
    return ListingEntry{name, false, *size};
}

bool IsTandemHeader(std::string_view line) {
    std::size_t pos = 0;
    return NextWord(line, pos) == "File" && NextWord(line, pos) == "Code" && NextWord(line, pos) == "EOF";
}

}  // namespace sapi::ftpclient
