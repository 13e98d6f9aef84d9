// A LIST listing, Unix and DOS lines mixed, as it comes over the data connection.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/ListingParser.h"

using namespace sapi::ftpclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    for (const ListingEntry &entry : ParseListing(text, ListingFormat::List)) {
        if (entry.name.empty() || entry.name.size() > size) std::abort();
    }
    return 0;
}
