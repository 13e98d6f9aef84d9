#include "ftp/protocol/EplfListParser.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseEplfListLine(std::string_view line) {
    if (line.size() < 3 || line[0] != '+') return std::nullopt;
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || tab + 1 >= line.size()) return std::nullopt;
    ListingEntry entry;
    entry.name = line.substr(tab + 1);
    std::string_view facts = line.substr(1, tab - 1);
    while (!facts.empty()) {
        const std::size_t comma = facts.find(',');
        const std::string_view fact = facts.substr(0, comma);
        facts.remove_prefix(comma == std::string_view::npos ? facts.size() : comma + 1);
        if (fact == "/") {
            entry.isDirectory = true;
        } else if (!fact.empty() && fact[0] == 's') {
            const std::optional<uint64_t> size = ParseUnsigned64(fact.substr(1));
            if (!size) return std::nullopt;
            entry.size = *size;
        }
    }
    // Every EPLF line ends its facts with a comma: without one it is something else.
    if (line[tab - 1] != ',') return std::nullopt;
    return entry;
}

}  // namespace sapi::ftpclient
