// A listing held in a few large blocks, whatever its length: every name's
// bytes one after another, and a fixed-size record per entry. A folder of a
// million entries costs its names plus 12 bytes an entry, no allocation of
// its own per entry, and never a second copy while it grows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ftp/protocol/ListingEntry.h"
#include "platform/BlockArray.h"
#include "platform/PackedStrings.h"

namespace sapi::ftpclient {

class CompactListing {
public:
    // Most memory one listing may take (names and records together): a server
    // that lists without end meets this instead of the end of the heap. Some
    // ten million entries of ordinary names.
    static constexpr std::size_t maxBytes = 512u * 1024 * 1024;

    // False, with nothing added, when the entry would pass maxBytes.
    bool Add(const ListingEntry &entry);
    std::size_t Count() const { return names_.size(); }
    // The name stays valid until the listing is next changed or destroyed.
    ListingEntry At(std::size_t index) const;
    // A reader that walks the listing once gives back what it has read.
    void ReleaseBefore(std::size_t index);
    void Clear();

private:
    PackedStrings<char> names_;
    BlockArray<uint64_t> sizeAndKind_;  // the top bit marks a folder
};

}  // namespace sapi::ftpclient
