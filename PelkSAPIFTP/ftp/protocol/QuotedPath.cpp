#include "ftp/protocol/QuotedPath.h"

namespace sapi::ftpclient {

std::optional<std::string> ParseQuotedPath(std::string_view text) {
    std::size_t pos = text.find('"');
    if (pos == std::string_view::npos) return std::nullopt;
    std::string path;
    for (++pos; pos < text.size(); ++pos) {
        // A CR, LF, NUL or other control byte is no part of any folder's
        // name we could use: '257 "/\r"' is a broken reply, not a path.
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x20 || byte == 0x7f) return std::nullopt;
        if (text[pos] != '"') {
            path += text[pos];
        } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
            path += '"';
            ++pos;
        } else {
            return path;
        }
    }
    return std::nullopt;  // no closing quote: the reply was cut or is not a path
}

}  // namespace sapi::ftpclient
