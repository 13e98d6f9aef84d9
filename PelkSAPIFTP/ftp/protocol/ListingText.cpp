#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

std::string PrintableExcerpt(std::string_view text, std::size_t bytes) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text.substr(0, bytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
        } else {
            out.append("\\x").append(1, hex[byte >> 4]).append(1, hex[byte & 0xf]);
        }
    }
    if (text.size() > bytes) out += "...";
    return out;
}

}  // namespace sapi::ftpclient
