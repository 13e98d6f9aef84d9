#include "ftp/protocol/NetWareListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseNetWareListLine(std::string_view line) {
    if (line.size() < 4 || (line[0] != 'd' && line[0] != '-') || line[1] != ' ') return std::nullopt;
    std::size_t pos = 1;
    const std::string_view rights = NextWord(line, pos);
    if (rights.size() < 3 || rights.front() != '[' || rights.back() != ']') return std::nullopt;
    if (NextWord(line, pos).empty()) return std::nullopt;  // the owner
    const std::optional<uint64_t> size = ParseUnsigned64(NextWord(line, pos));
    if (!size) return std::nullopt;
    const std::size_t dateEnd = UnixDateEnd(line, SkipBlanks(line, pos));
    if (dateEnd == noDate || dateEnd + 1 >= line.size()) return std::nullopt;
    return ListingEntry{line.substr(dateEnd + 1), line[0] == 'd', line[0] == 'd' ? 0 : *size};
}

}  // namespace sapi::ftpclient
