#include "HostText.h"

#include "platform/AsciiText.h"

namespace sapihost {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(HostText &out, char32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<ServerApiChar>(code));
        return;
    }
    code -= 0x10000;
    out.push_back(static_cast<ServerApiChar>(0xD800 + (code >> 10)));
    out.push_back(static_cast<ServerApiChar>(0xDC00 + (code & 0x3FF)));
}

void AppendUtf8(std::string &out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at text[i]; advances i. Overlong forms,
// surrogates and values past U+10FFFF are malformed.
char32_t DecodeUtf8(std::string_view text, size_t &i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    size_t extra = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1Fu, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0Fu, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07u, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (text.size() - i < extra) return kReplacement;
    for (size_t k = 0; k < extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
    i += extra;
    return code;
}

}  // namespace

HostText ToHostText(std::string_view utf8) {
    HostText out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

void AssignUtf8(std::string &out, std::basic_string_view<ServerApiChar> text) {
    // Most names are ASCII from end to end: copied as a whole.
    if (sapi::IsAscii(text)) {
        out.resize(text.size());
        sapi::CopyAscii(text, out.data());
        return;
    }
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(static_cast<uint16_t>(text[i]));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            const auto low = static_cast<char32_t>(static_cast<uint16_t>(text[i + 1]));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
    }
}

std::string ToUtf8(std::basic_string_view<ServerApiChar> text) {
    std::string out;
    AssignUtf8(out, text);
    return out;
}

std::string ToUtf8(const ServerApiChar *text) {
    if (text == nullptr) return {};
    size_t length = 0;
    while (text[length] != 0) ++length;
    return ToUtf8(std::basic_string_view<ServerApiChar>(text, length));
}

}  // namespace sapihost
