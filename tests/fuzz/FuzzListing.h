// What both listing fuzzers check: every entry is a non-empty name taken from
// the input (z/VM's "NAME.TYPE" from its two columns), and reading in pieces gives the same entries and the same count
// of dropped lines, and shows the same first dropped line, as reading the
// whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/ListingReader.h"

namespace sapi::ftpclient {

inline bool TakenFrom(std::string_view text, std::string_view name) {
    if (text.find(name) != std::string_view::npos) return true;
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && text.find(name.substr(0, dot)) != std::string_view::npos &&
           text.find(name.substr(dot + 1)) != std::string_view::npos;
}

inline int FuzzListing(const uint8_t *data, size_t size, ListingFormat format) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 32 + 1;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::size_t droppedWhole = 0;
    const CompactListing whole = ParseListing(text, format, &droppedWhole);
    CompactListing pieces;
    ListingReader reader(format, pieces);
    for (std::size_t at = 0; at < text.size(); at += piece) {
        if (!reader.Feed(text.substr(at, piece))) std::abort();
    }
    if (!reader.Finish() || reader.DroppedLines() != droppedWhole || pieces.Count() != whole.Count()) std::abort();
    CompactListing again;
    ListingReader wholeReader(format, again);
    if (!wholeReader.Feed(text) || !wholeReader.Finish() || wholeReader.FirstDroppedLine() != reader.FirstDroppedLine()) {
        std::abort();
    }
    for (std::size_t i = 0; i < whole.Count(); ++i) {
        const ListingEntry entry = whole.At(i);
        const ListingEntry other = pieces.At(i);
        if (entry.name.empty() || !TakenFrom(text, entry.name)) std::abort();
        if (entry.name != other.name || entry.size != other.size || entry.isDirectory != other.isDirectory) {
            std::abort();
        }
    }
    return 0;
}

}  // namespace sapi::ftpclient
