#include "ftp/protocol/UnixListDate.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

bool IsEnglishMonth(std::string_view word) {
    if (word.size() != 3) return false;
    // The three letters in lower case, as one number: one compare a month.
    uint32_t key = 0;
    for (const char c : word) key = key << 8 | static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    static constexpr std::array<uint32_t, 12> months = {0x6a616e, 0x666562, 0x6d6172, 0x617072, 0x6d6179, 0x6a756e,
                                                        0x6a756c, 0x617567, 0x736570, 0x6f6374, 0x6e6f76, 0x646563};
    return std::find(months.begin(), months.end(), key) != months.end();
}

// One CJK character: two or three bytes, the first not ASCII.
bool IsMarker(std::string_view text) {
    return (text.size() == 2 || text.size() == 3) && static_cast<unsigned char>(text[0]) >= 0x80;
}

// A number of one to `most` digits from `least` to `greatest`, then nothing
// or (where `marked`) a marker.
bool IsNumberPart(std::string_view word, std::size_t most, unsigned least, unsigned greatest, bool marked) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < word.size() && digits <= most && IsDigitChar(word[digits])) {
        value = value * 10 + static_cast<unsigned>(word[digits++] - '0');
    }
    if (digits == 0 || digits > most || value < least || value > greatest) return false;
    const std::string_view rest = word.substr(digits);
    return rest.empty() || (marked && IsMarker(rest));
}

bool IsDay(std::string_view word, bool marked) { return IsNumberPart(word, 2, 1, 31, marked); }

bool IsYear(std::string_view word, bool marked) {
    return IsNumberPart(word, 4, 1000, 9999, marked);
}

// "07:25", "7:25"; with `seconds`, also "07:25:33" and "07:25:33.000000000".
bool IsClockWord(std::string_view word, bool seconds) {
    const std::size_t colon = word.size() > 1 && word[1] == ':' ? 1 : 2;
    if (word.size() <= colon || word[colon] != ':' || !AllDigits(word.substr(0, colon))) return false;
    const std::string_view minutes = word.substr(colon + 1, 2);
    std::string_view rest = word.substr(std::min(word.size(), colon + 3));
    if (minutes.size() != 2 || !AllDigits(minutes)) return false;
    if (rest.empty()) return true;
    if (!seconds || rest.size() < 3 || rest[0] != ':' || !AllDigits(rest.substr(1, 2))) return false;
    rest.remove_prefix(3);
    return rest.empty() || (rest[0] == '.' && AllDigits(rest.substr(1)));
}

// "2005-04-08"
bool IsIsoDay(std::string_view word) {
    return word.size() == 10 && word[4] == '-' && word[7] == '-' && IsYear(word.substr(0, 4), false) &&
           IsNumberPart(word.substr(5, 2), 2, 1, 12, false) &&
           IsNumberPart(word.substr(8, 2), 2, 1, 31, false);
}

// "+0200", "-0500"
bool IsZone(std::string_view word) {
    return word.size() == 5 && (word[0] == '+' || word[0] == '-') && AllDigits(word.substr(1));
}

// After "2005-04-08": a time if one follows, and after a time with seconds a
// zone if one follows.
std::size_t IsoDateEnd(std::string_view line, std::size_t end) {
    std::size_t next = end;
    const std::string_view time = NextWord(line, next);
    if (!IsClockWord(time, true)) return end;
    end = next;
    if (time.size() <= 5) return end;
    const std::string_view zone = NextWord(line, next);
    return IsZone(zone) ? next : end;
}

// The first character of every date read here: a digit, or the first
// letter of an English month. Most words before the date (owners, groups)
// fail here, at their first letter.
bool MayStartDate(char c) {
    switch (c | 0x20) {  // ASCII letters in lower case
    case 'j': case 'f': case 'm': case 'a': case 's': case 'o': case 'n': case 'd': return true;
    default: return IsDigitChar(c);
    }
}

}  // namespace

bool IsClock(std::string_view word, bool seconds) { return IsClockWord(word, seconds); }

bool IsDateNumber(std::string_view word, std::size_t most, unsigned least, unsigned greatest, bool marked) {
    return IsNumberPart(word, most, least, greatest, marked);
}

std::size_t UnixDateEnd(std::string_view line, std::size_t pos) {
    if (pos >= line.size() || !MayStartDate(line[pos])) return noDate;
    const std::string_view first = NextWord(line, pos);
    if (IsIsoDay(first)) return IsoDateEnd(line, pos);
    const bool marked = IsNumberPart(first, 2, 1, 12, true) && !AllDigits(first);
    if (!marked && !IsEnglishMonth(first)) return noDate;
    if (!IsDay(NextWord(line, pos), marked)) return noDate;
    const std::string_view last = NextWord(line, pos);
    if (!IsClockWord(last, false) && !IsYear(last, marked)) return noDate;
    return pos;
}

}  // namespace sapi::ftpclient
