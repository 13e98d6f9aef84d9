#include "ftp/protocol/MvsListParser.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

// "2004/06/23"
bool IsMvsDate(std::string_view word) {
    return word.size() == 10 && word[4] == '/' && word[7] == '/' && AllDigits(word.substr(0, 4)) &&
           AllDigits(word.substr(5, 2)) && AllDigits(word.substr(8));
}

// The last word of the line, and where it starts.
std::string_view LastWord(std::string_view line, std::size_t &begin) {
    std::size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    begin = end;
    while (begin > 0 && !IsBlank(line[begin - 1])) --begin;
    return line.substr(begin, end - begin);
}

}  // namespace

std::optional<ListingEntry> ParseMvsDataSetLine(std::string_view line) {
    std::size_t pos = 0;
    const std::string_view first = NextWord(line, pos);
    std::size_t nameBegin = 0;
    const std::string_view name = LastWord(line, nameBegin);
    if (first.empty() || name.empty() || nameBegin == 0) return std::nullopt;
    // Data sets on tape or migrated carry no columns but their state.
    if (first == "Migrated" || first == "Tape" || first == "Pseudo") {
        return ListingEntry{name, first == "Pseudo", 0};
    }
    const std::string_view unit = NextWord(line, pos);
    if (unit.empty() || !IsMvsDate(NextWord(line, pos))) return std::nullopt;
    std::size_t dsorgEnd = nameBegin;
    while (dsorgEnd > 0 && IsBlank(line[dsorgEnd - 1])) --dsorgEnd;
    std::size_t dsorgBegin = 0;
    const std::string_view dsorg = LastWord(line.substr(0, dsorgEnd), dsorgBegin);
    return ListingEntry{name, dsorg == "PO" || dsorg == "PO-E", 0};
}

std::optional<ListingEntry> ParseMvsMemberLine(std::string_view line) {
    std::size_t pos = 0;
    const std::string_view name = NextWord(line, pos);
    const std::string_view version = NextWord(line, pos);
    const std::size_t dot = version.find('.');
    if (name.empty() || IsBlank(line[0]) || dot == std::string_view::npos || !AllDigits(version.substr(0, dot)) ||
        !AllDigits(version.substr(dot + 1)) || !IsMvsDate(NextWord(line, pos)) || !IsMvsDate(NextWord(line, pos))) {
        return std::nullopt;
    }
    return ListingEntry{name, false, 0};
}

bool IsMvsHeader(std::string_view line) {
    std::size_t pos = 0;
    const std::string_view first = NextWord(line, pos);
    return (first == "Volume" && NextWord(line, pos) == "Unit") || (first == "Name" && NextWord(line, pos) == "VV.MM");
}

}  // namespace sapi::ftpclient
