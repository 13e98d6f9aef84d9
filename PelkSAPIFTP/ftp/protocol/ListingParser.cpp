#include "ftp/protocol/ListingParser.h"

#include "ftp/protocol/DosListParser.h"
#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/UnixListParser.h"

namespace sapi::ftpclient {

namespace {

std::optional<ListingEntry> ParseLine(std::string_view line, ListingFormat format) {
    if (format == ListingFormat::Mlsd) return ParseMlsdLine(line);
    if (!line.empty() && IsDigitChar(line[0])) return ParseDosListLine(line);
    return ParseUnixListLine(line);
}

}  // namespace

std::vector<ListingEntry> ParseListing(std::string_view data, ListingFormat format) {
    std::vector<ListingEntry> entries;
    while (!data.empty()) {
        const std::size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        data = end == std::string_view::npos ? std::string_view{} : data.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::optional<ListingEntry> entry = ParseLine(line, format)) {
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

}  // namespace sapi::ftpclient
