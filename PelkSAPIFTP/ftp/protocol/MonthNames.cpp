#include "ftp/protocol/MonthNames.h"

#include <string>

namespace sapi::ftpclient {

namespace {

// The start of each month's name, in lower case; a word is a month when it
// starts with one of these and goes on in letters only ("januari", "juillet",
// "июля" are found by their first three letters). Names whose first
// letter is not ASCII are listed capitalised too.
constexpr std::string_view monthStarts[] = {
    // English, and most of the others' abbreviations
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec",
    // German, Dutch, Nordic, Portuguese
    "mär", "mrz", "mai", "okt", "dez", "mrt", "mei", "maj", "des", "fev", "out", "set",
    // French
    "fév", "avr", "jui", "aoû", "aou", "déc",
    // Spanish, Italian
    "ene", "abr", "ago", "dic", "gen", "mag", "giu", "lug", "ott",
    // Finnish
    "tammi", "helmi", "maalis", "huhti", "touko", "kesä", "heinä", "elo", "syys", "loka", "marras", "joulu",
    // Polish
    "sty", "lut", "kwi", "cze", "lip", "sie", "wrz", "paź", "lis", "gru",
    // Czech
    "led", "úno", "Úno", "bře", "dub", "kvě", "čer", "Čer", "srp", "zář", "říj", "Říj", "pro",
    // Russian
    "янв", "фев", "мар", "апр", "мая", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек",
    "Янв", "Фев", "Мар", "Апр", "Мая", "Май", "Июн", "Июл", "Авг", "Сен", "Окт", "Ноя", "Дек",
    // Hungarian
    "márc", "ápr", "Ápr", "máj", "jún", "júl", "szept",
    // Turkish
    "oca", "şub", "Şub", "nis", "haz", "tem", "ağu", "eyl", "eki", "kas", "ara",
};

bool IsLetterByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool IsMonthName(std::string_view word) {
    if (!word.empty() && (word.back() == '.' || word.back() == ',')) word.remove_suffix(1);
    if (word.size() < 3 || word.size() > 24) return false;
    std::string lower(word);
    for (char &c : lower) {
        if (!IsLetterByte(c)) return false;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const std::string_view start : monthStarts) {
        if (lower.compare(0, start.size(), start) == 0) return true;
    }
    return false;
}

}  // namespace sapi::ftpclient
