// A listing held in two blocks, whatever its length: every name's bytes one
// after another in one string, and a fixed-size record per entry. A folder of a
// million entries costs its names plus 16 bytes an entry, and no allocation of
// its own per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

class CompactListing {
public:
    // Most memory one listing may take (names and records together): a server
    // that lists without end meets this instead of the end of the heap. Some
    // ten million entries of ordinary names.
    static constexpr std::size_t maxBytes = 512u * 1024 * 1024;

    // False, with nothing added, when the entry would pass maxBytes.
    bool Add(const ListingEntry &entry);
    std::size_t Count() const { return records_.size(); }
    // The name stays valid until the listing is next changed or destroyed.
    ListingEntry At(std::size_t index) const;
    void Clear();

private:
    struct Record {
        uint64_t sizeAndKind;  // the top bit marks a folder
        uint32_t nameBegin;
        uint32_t nameLength;
    };
    static_assert(sizeof(Record) == 16, "records stay small");

    std::string names_;
    std::vector<Record> records_;
};

}  // namespace sapi::ftpclient
