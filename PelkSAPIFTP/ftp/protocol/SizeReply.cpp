#include "ftp/protocol/SizeReply.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

std::optional<uint64_t> ParseSizeReply(const FtpReply &reply) {
    if (reply.code != 213 || reply.lines.size() != 1) return std::nullopt;
    std::string_view text = reply.lines.front();
    if (text.size() <= 4) return std::nullopt;
    text.remove_prefix(4);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return ParseUnsigned64(text);
}

std::optional<uint64_t> ParseAnnouncedSize(std::string_view text) {
    static constexpr std::string_view suffix = " bytes)";
    for (std::size_t open = text.find('('); open != std::string_view::npos; open = text.find('(', open + 1)) {
        std::size_t end = open + 1;
        while (end < text.size() && IsDigitChar(text[end])) ++end;
        if (end > open + 1 && text.substr(end, suffix.size()) == suffix) {
            return ParseUnsigned64(text.substr(open + 1, end - open - 1));
        }
    }
    return std::nullopt;
}

}  // namespace sapi::ftpclient
