#include "platform/WideText.h"

#include "platform/AsciiText.h"

namespace sapi {

namespace {

constexpr char32_t replacement = 0xFFFD;

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(WideString &out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<WideChar>(c);
    } else {
        c -= 0x10000;
        out += static_cast<WideChar>(0xD800 | (c >> 10));
        out += static_cast<WideChar>(0xDC00 | (c & 0x3FF));
    }
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when it is
// malformed (overlong, a surrogate, beyond U+10FFFF, cut short).
std::size_t DecodeUtf8(std::string_view text, std::size_t i, char32_t &c) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) { c = lead; return 1; }
    if ((lead & 0xE0) == 0xC0) { length = 2; c = lead & 0x1F; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; c = lead & 0x0F; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; c = lead & 0x07; minimum = 0x10000; }
    else return 0;
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

std::size_t WideLength(const WideChar *text) {
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

std::string Utf8FromWide(WideView text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char16_t>(text[i]);
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = replacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

WideString WideFromUtf8(std::string_view text) {
    WideString out;
    out.reserve(text.size());
    AppendWideFromUtf8(out, text);
    return out;
}

void AppendWideFromUtf8(WideString &out, std::string_view text) {
    // The common case, ASCII, written in place: one byte a unit.
    const std::size_t start = out.size();
    if (IsAscii(text)) {
        out.resize(start + text.size());
        CopyAscii(text, out.data() + start);
        return;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            AppendUtf16(out, replacement);
            ++i;
        } else {
            AppendUtf16(out, c);
            i += length;
        }
    }
}

bool IsValidUtf8(std::string_view text) {
    if (IsAscii(text)) return true;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

void AppendWideFromLatin1(WideString &out, std::string_view text) {
    for (char c : text) out += static_cast<WideChar>(static_cast<unsigned char>(c));
}

WideString WideFromAscii(std::string_view text) {
    return WideString(text.begin(), text.end());
}

}  // namespace sapi
