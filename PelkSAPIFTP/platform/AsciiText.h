// ASCII, the common case of a name, handled a whole name at a time: looked
// at eight bytes at a time, and copied between the 8- and 16-bit widths
// eight characters at a time. Header-only, as sapihost uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace sapi {

// Whether every character is below 0x80: such a text is the same in UTF-8,
// in Latin-1 and, unit for byte, in UTF-16.
template <typename Char>
bool IsAscii(std::basic_string_view<Char> text) {
    static_assert(sizeof(Char) == 1 || sizeof(Char) == 2);
    constexpr uint64_t highBits = sizeof(Char) == 1 ? 0x8080808080808080u : 0xFF80FF80FF80FF80u;
    constexpr std::size_t perWord = 8 / sizeof(Char);
    std::size_t i = 0;
    for (; i + perWord <= text.size(); i += perWord) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        if ((word & highBits) != 0) return false;
    }
    for (; i < text.size(); ++i) {
        if (static_cast<std::make_unsigned_t<Char>>(text[i]) >= 0x80) return false;
    }
    return true;
}

// An ASCII text in the other width, written to `out` (as many characters as
// the text has, no terminator). Eight at a time through a small array, which
// the compiler copies with a few vector instructions.
template <typename From, typename To>
void CopyAscii(std::basic_string_view<From> text, To *out) {
    using Unsigned = std::make_unsigned_t<From>;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        Unsigned eight[8];
        std::memcpy(eight, text.data() + i, sizeof eight);
        for (std::size_t k = 0; k < 8; ++k) out[i + k] = static_cast<To>(eight[k]);
    }
    for (; i < text.size(); ++i) out[i] = static_cast<To>(static_cast<Unsigned>(text[i]));
}

}  // namespace sapi
