#include "ftp/protocol/UnixListForms.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MonthNames.h"
#include "ftp/protocol/UnixListDate.h"
#include "ftp/protocol/UnixListParser.h"

namespace sapi::ftpclient {

namespace {

// A number, as a date's part, perhaps with a dot or comma after it ("26.",
// "08,"), or (where `marker`) a CJK character.
bool IsNumber(std::string_view word, std::size_t most, unsigned least, unsigned greatest, bool marker = false) {
    if (!word.empty() && (word.back() == '.' || word.back() == ',')) word.remove_suffix(1);
    return IsDateNumber(word, most, least, greatest, marker);
}

bool IsDayWord(std::string_view word) { return IsNumber(word, 2, 1, 31); }
bool IsYearWord(std::string_view word) { return IsNumber(word, 4, 1900, 2999); }
bool IsTimeWord(std::string_view word) { return IsClock(word, true); }
bool IsMarked(std::string_view word) { return !word.empty() && !IsDigitChar(word.back()); }

// "24-04-2003", "1999/10/12", "2004.07.15", "01-jun-99": three parts with one
// separator, a year of two or four digits first or last, a month in the middle
// (a number, or a name).
bool IsWholeDateWord(std::string_view word) {
    const std::size_t first = word.find_first_of("-/.");
    if (first == std::string_view::npos) return false;
    const char separator = word[first];
    const std::size_t second = word.find(separator, first + 1);
    if (second == std::string_view::npos || word.find(separator, second + 1) != std::string_view::npos) return false;
    const std::string_view a = word.substr(0, first);
    const std::string_view b = word.substr(first + 1, second - first - 1);
    const std::string_view c = word.substr(second + 1);
    if (!AllDigits(a) || !AllDigits(c)) return false;
    if (a.size() == 4) return IsNumber(b, 2, 1, 12) && IsDayWord(c);
    const bool month = IsNumber(b, 2, 1, 12) || (separator == '-' && IsMonthName(b));
    return a.size() <= 2 && month && (c.size() == 2 || c.size() == 4) && IsNumber(a, 2, 1, 31);
}

// "09-26": a month and a day, a year or a time to follow.
bool IsMonthDayWord(std::string_view word) {
    const std::size_t dash = word.find('-');
    return dash != std::string_view::npos && IsNumber(word.substr(0, dash), 2, 1, 12) &&
           IsDayWord(word.substr(dash + 1)) && AllDigits(word.substr(dash + 1));
}

// After a time, a year may follow; after a year, a time.
std::size_t OptionalYearOrTime(std::string_view line, std::size_t end, bool afterTime) {
    std::size_t next = end;
    const std::string_view word = NextWord(line, next);
    return (afterTime ? IsYearWord(word) : IsTimeWord(word)) ? next : end;
}

// The word after a date's day and month: a time or a year, and perhaps the other.
std::size_t TimeOrYearEnd(std::string_view line, std::size_t pos, bool more) {
    const std::string_view word = NextWord(line, pos);
    if (IsTimeWord(word)) return more ? OptionalYearOrTime(line, pos, true) : pos;
    if (IsYearWord(word) || IsNumber(word, 4, 1900, 2999, true)) return more ? OptionalYearOrTime(line, pos, false) : pos;
    return noDate;
}

// Where a date of any of the forms above that starts at `pos` ends.
std::size_t DateFormEnd(std::string_view line, std::size_t pos) {
    const std::string_view first = NextWord(line, pos);
    if (first.empty()) return noDate;
    if (IsWholeDateWord(first)) return OptionalYearOrTime(line, pos, false);
    if (IsMonthDayWord(first)) return TimeOrYearEnd(line, pos, false);
    std::size_t next = pos;
    const std::string_view second = NextWord(line, next);
    // "2005년 1월 6일": year, month and day, each marked.
    if (IsNumber(first, 4, 1900, 2999, true) && IsMarked(first)) {
        std::size_t after = next;
        if (!IsNumber(second, 2, 1, 12, true) || !IsMarked(second)) return noDate;
        const std::string_view day = NextWord(line, after);
        if (!IsNumber(day, 2, 1, 31, true)) return noDate;
        std::size_t timeEnd = after;
        return IsTimeWord(NextWord(line, timeEnd)) ? timeEnd : after;
    }
    // "Oct 08, 2002 09:47", "Juli 26 20:10": the month first.
    if (IsMonthName(first)) return IsDayWord(second) ? TimeOrYearEnd(line, next, second.back() == ',') : noDate;
    if (!IsDayWord(first)) return noDate;
    // "26. Juli, 20:10", "29 Jul 02:27 2014", "01 oct 2004": the day first.
    if (IsMonthName(second)) return TimeOrYearEnd(line, next, true);
    // "3 29 03:26": a month's number, then the day.
    if (IsNumber(first, 2, 1, 12) && IsDayWord(second) && AllDigits(second)) return TimeOrYearEnd(line, next, false);
    return noDate;
}

// A size in the forms the fast reader does not take: "33.5k", "12M", "1.2G"
// (read as that many bytes, rounded down), and a group's name run into the
// size ("longgroup123456": the digits at its end).
bool SizeForm(std::string_view word, uint64_t &size) {
    if (word.empty()) return false;
    if (const std::optional<uint64_t> plain = ParseUnsigned64(word)) {
        size = *plain;
        return true;
    }
    const char unit = static_cast<char>(word.back() | 0x20);
    const uint64_t scale = unit == 'k' ? 1ull << 10 : unit == 'm' ? 1ull << 20 : unit == 'g' ? 1ull << 30
                         : unit == 't' ? 1ull << 40 : 0;
    if (scale != 0 && IsDigitChar(word[0])) {
        const std::string_view number = word.substr(0, word.size() - 1);
        const std::size_t dot = number.find('.');
        const std::string_view whole = number.substr(0, dot);
        const std::string_view tenths = dot == std::string_view::npos ? std::string_view() : number.substr(dot + 1);
        if (whole.size() > 6 || !AllDigits(whole) || (dot != std::string_view::npos && !AllDigits(tenths))) return false;
        size = *ParseUnsigned64(whole) * scale;
        if (!tenths.empty()) size += static_cast<uint64_t>(tenths[0] - '0') * scale / 10;
        return true;
    }
    std::size_t digits = word.size();
    while (digits > 0 && IsDigitChar(word[digits - 1])) --digits;
    const char before = digits > 0 ? static_cast<char>(word[digits - 1] | 0x20) : 0;
    if (before < 'a' || before > 'z' || digits == word.size() || word.size() - digits > 19) return false;
    size = *ParseUnsigned64(word.substr(digits));
    return true;
}

// No date anywhere: "mode links owner group size name", or without the
// group. Where what follows the size starts with a digit or a month, a date
// was there and could not be read: dropped, not guessed.
std::optional<ListingEntry> WithoutDate(std::string_view line) {
    std::size_t pos = 0;
    NextWord(line, pos);  // the mode
    if (!AllDigits(NextWord(line, pos))) return std::nullopt;
    std::size_t ends[3] = {};
    std::string_view columns[3];
    for (int column = 0; column < 3; ++column) {
        columns[column] = NextWord(line, pos);
        ends[column] = pos;
    }
    const int sizeColumn = AllDigits(columns[2]) ? 2 : AllDigits(columns[1]) ? 1 : -1;
    if (sizeColumn < 0) return std::nullopt;
    std::size_t next = ends[sizeColumn];
    const std::string_view after = NextWord(line, next);
    if (after.empty() || IsDigitChar(after[0]) || IsMonthName(after)) return std::nullopt;
    return UnixEntryAfter(line, ends[sizeColumn], ParseUnsigned64(columns[sizeColumn]).value_or(0));
}

}  // namespace

std::optional<ListingEntry> ParseUnixListLineForms(std::string_view line) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0]) || !IsUnixModeWord(NextWord(line, pos))) return std::nullopt;
    for (int words = 0; words < 12; ++words) {
        const std::string_view word = NextWord(line, pos);
        if (word.empty()) break;
        uint64_t size = 0;
        if (words == 0 || !SizeForm(word, size)) continue;
        const std::size_t dateEnd = DateFormEnd(line, pos);
        if (dateEnd != noDate) return UnixEntryAfter(line, dateEnd, size);
    }
    return WithoutDate(line);
}

}  // namespace sapi::ftpclient
