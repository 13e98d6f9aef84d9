#include "platform/WideNameList.h"

#include <new>

#include "platform/AsciiText.h"

namespace sapi {

namespace {

// Every 16-bit unit on its own, as UTF-8 would write a code point of that
// value: reversible for any UTF-16, paired surrogates or not. A unit takes
// one byte (ASCII), two or three.
std::size_t BytesOfUnit(char16_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

std::size_t EncodedBytes(WideView text) {
    std::size_t bytes = 0;
    for (const WideChar unit : text) bytes += BytesOfUnit(static_cast<char16_t>(unit));
    return bytes;
}

// Writes the EncodedBytes(text) bytes of the text to `out`.
void EncodeUnits(WideView text, char *out) {
    for (const WideChar unit : text) {
        const auto u = static_cast<char16_t>(unit);
        if (u < 0x80) {
            *out++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
}

// The units of EncodeUnits' bytes, written to `out`: as many as the bytes
// have lead bytes.
void DecodeUnits(std::string_view bytes, WideChar *out) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned lead = at(i);
        if (lead < 0x80) {
            *out++ = static_cast<WideChar>(lead);
            i += 1;
        } else if (lead < 0xE0) {
            *out++ = static_cast<WideChar>(((lead & 0x1F) << 6) | (at(i + 1) & 0x3F));
            i += 2;
        } else {
            *out++ = static_cast<WideChar>(((lead & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F));
            i += 3;
        }
    }
}

}  // namespace

// Each name is written straight into the block that keeps it; an ASCII name
// (most names) byte for unit.
void WideNameList::push_back(WideView name) {
    const bool ascii = IsAscii(name);
    const auto write = [&](char *out) {
        if (ascii) {
            CopyAscii(name, out);
        } else {
            EncodeUnits(name, out);
        }
    };
    // Names come from listing records of at most 259 units; a longer one is
    // more than any record holds, and as out of reach as the heap's end.
    if (!packed_.push_back(ascii ? name.size() : EncodedBytes(name), write)) throw std::bad_alloc();
}

WideNameList::Name::Name(std::string_view bytes) : bytes_(bytes), ascii_(IsAscii(bytes)), units_(bytes.size()) {
    if (ascii_) return;
    units_ = 0;
    for (const char byte : bytes) units_ += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

void WideNameList::Name::CopyTo(WideChar *out) const {
    if (ascii_) {
        CopyAscii(bytes_, out);
    } else {
        DecodeUnits(bytes_, out);
    }
}

WideString WideNameList::operator[](std::size_t index) const {
    const Name name = At(index);
    WideString text(name.Units(), WideChar{0});
    name.CopyTo(text.data());
    return text;
}

std::vector<WideString> WideNameList::ToVector() const {
    std::vector<WideString> names;
    names.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) names.push_back((*this)[i]);
    return names;
}

}  // namespace sapi
