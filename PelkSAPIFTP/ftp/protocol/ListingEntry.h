// One entry of a remote folder listing, as any of the listing parsers read it.
#pragma once

#include <cstdint>
#include <string_view>

namespace sapi::ftpclient {

struct ListingEntry {
    // The name's bytes as the server sent them, within the line that was read:
    // valid only as long as that line is.
    std::string_view name;
    bool isDirectory = false;
    uint64_t size = 0;
};

}  // namespace sapi::ftpclient
