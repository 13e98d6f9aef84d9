#include "ftp/protocol/QuotedPath.h"

namespace sapi::ftpclient {

std::optional<std::string> ParseQuotedPath(std::string_view text) {
    std::size_t pos = text.find('"');
    if (pos == std::string_view::npos) return std::nullopt;
    std::string path;
    for (++pos; pos < text.size(); ++pos) {
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
