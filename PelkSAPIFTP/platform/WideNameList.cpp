#include "platform/WideNameList.h"

#include <new>

namespace sapi {

namespace {

// Every 16-bit unit on its own, as UTF-8 would write a code point of that
// value: reversible for any UTF-16, paired surrogates or not.
void AppendUnits(std::string &out, WideView text) {
    // ASCII, the common case, written in place.
    const std::size_t start = out.size();
    out.resize(start + text.size());
    std::size_t ascii = 0;
    for (; ascii < text.size() && static_cast<char16_t>(text[ascii]) < 0x80; ++ascii) {
        out[start + ascii] = static_cast<char>(text[ascii]);
    }
    out.resize(start + ascii);
    for (const WideChar unit : text.substr(ascii)) {
        const auto u = static_cast<char16_t>(unit);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
}

// The units of AppendUnits' bytes, written to `out`: as many as the bytes
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

void WideNameList::push_back(WideView name) {
    scratch_.clear();
    AppendUnits(scratch_, name);
    // Names come from listing records of at most 259 units; a longer one is
    // more than any record holds, and as out of reach as the heap's end.
    if (!packed_.push_back(scratch_)) throw std::bad_alloc();
}

std::size_t WideNameList::UnitsAt(std::size_t index) const {
    std::size_t units = 0;
    for (const char byte : packed_[index]) units += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    return units;
}

void WideNameList::DecodeAt(std::size_t index, WideChar *out) const { DecodeUnits(packed_[index], out); }

WideString WideNameList::operator[](std::size_t index) const {
    WideString name(UnitsAt(index), WideChar{0});
    DecodeAt(index, name.data());
    return name;
}

std::vector<WideString> WideNameList::ToVector() const {
    std::vector<WideString> names;
    names.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) names.push_back((*this)[i]);
    return names;
}

}  // namespace sapi
