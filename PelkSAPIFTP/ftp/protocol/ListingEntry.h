// One entry of a remote folder listing, as any of the listing parsers read it.
#pragma once

#include <cstdint>
#include <string>

namespace sapi::ftpclient {

struct ListingEntry {
    std::string name;  // as the server sent it (UTF-8 by every server we know)
    bool isDirectory = false;
    uint64_t size = 0;
};

}  // namespace sapi::ftpclient
