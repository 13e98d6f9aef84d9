#include "ftp/protocol/Os2ListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

namespace {

// "05-12-97"
bool IsOs2Date(std::string_view word) {
    return word.size() == 8 && word[2] == '-' && word[5] == '-' && AllDigits(word.substr(0, 2)) &&
           AllDigits(word.substr(3, 2)) && AllDigits(word.substr(6));
}

// Attributes: A(rchive), R(ead-only), H(idden), S(ystem), DIR.
bool IsAttribute(std::string_view word) {
    if (word == "DIR") return true;
    for (const char c : word) {
        if (c != 'A' && c != 'R' && c != 'H' && c != 'S') return false;
    }
    return !word.empty();
}

}  // namespace

std::optional<ListingEntry> ParseOs2ListLine(std::string_view line) {
    std::size_t pos = 0;
    const std::optional<uint64_t> size = ParseUnsigned64(NextWord(line, pos));
    if (!size) return std::nullopt;
    bool folder = false;
    std::string_view word = NextWord(line, pos);
    for (int attributes = 0; attributes < 4 && IsAttribute(word); ++attributes) {
        folder = folder || word == "DIR";
        word = NextWord(line, pos);
    }
    if (!IsOs2Date(word) || !IsClock(NextWord(line, pos), false)) return std::nullopt;
    // Two blanks before the name; a name's own leading blanks come after them.
    const std::size_t nameBegin = line.substr(pos, 2) == "  " ? pos + 2 : SkipBlanks(line, pos);
    if (nameBegin >= line.size()) return std::nullopt;
    return ListingEntry{line.substr(nameBegin), folder, folder ? 0 : *size};
}

}  // namespace sapi::ftpclient
