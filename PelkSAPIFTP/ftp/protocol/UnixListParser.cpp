#include "ftp/protocol/UnixListParser.h"

#include <array>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

struct Token {
    std::size_t begin;
    std::size_t end;
};

// The first blank-separated words of a line, by position, without taking
// memory of their own.
struct Words {
    static constexpr std::size_t limit = 12;
    std::array<Token, limit> tokens{};
    std::size_t count = 0;

    explicit Words(std::string_view line) {
        std::size_t pos = 0;
        while (count < limit) {
            while (pos < line.size() && IsBlank(line[pos])) ++pos;
            if (pos == line.size()) break;
            const std::size_t begin = pos;
            while (pos < line.size() && !IsBlank(line[pos])) ++pos;
            tokens[count++] = {begin, pos};
        }
    }
    std::size_t size() const { return count; }
    const Token &operator[](std::size_t i) const { return tokens[i]; }
};

// "drwxr-xr-x", "-rw-r--r--+", "lrwxrwxrwx@": a kind and nine permission
// letters, perhaps one mark (ACL, SELinux context, extended attributes).
bool IsModeWord(std::string_view word) {
    static constexpr std::string_view kinds = "-dlbcpsDn";
    static constexpr std::string_view permissions = "-rwxsStTlL";
    if (word.size() < 10 || word.size() > 11 || kinds.find(word[0]) == std::string_view::npos) return false;
    for (std::size_t i = 1; i < 10; ++i) {
        if (permissions.find(word[i]) == std::string_view::npos) return false;
    }
    return word.size() == 10 || word[10] == '+' || word[10] == '.' || word[10] == '@';
}

bool IsMonth(std::string_view word) {
    static constexpr std::array<std::string_view, 12> months = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (std::string_view month : months) {
        if (EqualsIgnoringCase(word, month)) return true;
    }
    return false;
}

bool AllDigits(std::string_view word) {
    if (word.empty()) return false;
    for (char c : word) {
        if (!IsDigitChar(c)) return false;
    }
    return true;
}

// "07:25", "7:25" or a year "2024".
bool IsTimeOrYear(std::string_view word) {
    const std::size_t colon = word.find(':');
    if (colon == std::string_view::npos) return word.size() == 4 && AllDigits(word);
    return colon >= 1 && colon <= 2 && word.size() == colon + 3 && AllDigits(word.substr(0, colon)) &&
           AllDigits(word.substr(colon + 1));
}

// Index of the month word of "size month day time", or 0 when there is none.
std::size_t FindDate(std::string_view line, const Words &words) {
    auto text = [&](std::size_t i) { return line.substr(words[i].begin, words[i].end - words[i].begin); };
    for (std::size_t i = 2; i + 2 < words.size(); ++i) {
        const std::string_view day = text(i + 1);
        if (IsMonth(text(i)) && AllDigits(text(i - 1)) && day.size() <= 2 && AllDigits(day) &&
            IsTimeOrYear(text(i + 2))) {
            return i;
        }
    }
    return 0;
}

}  // namespace

std::optional<ListingEntry> ParseUnixListLine(std::string_view line) {
    const Words words(line);
    if (words.size() == 0 || !IsModeWord(line.substr(0, words[0].end)) || words[0].begin != 0) return std::nullopt;
    const std::size_t month = FindDate(line, words);
    if (month == 0) return std::nullopt;
    const std::size_t nameBegin = words[month + 2].end + 1;  // exactly one blank
    if (nameBegin >= line.size()) return std::nullopt;
    ListingEntry entry;
    entry.isDirectory = line[0] == 'd';
    const Token &size = words[month - 1];
    entry.size = ParseUnsigned64(line.substr(size.begin, size.end - size.begin)).value_or(0);
    std::string_view name = line.substr(nameBegin);
    if (line[0] == 'l') {
        const std::size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos && arrow > 0) name = name.substr(0, arrow);
    }
    entry.name = name;
    return entry;
}

}  // namespace sapi::ftpclient
