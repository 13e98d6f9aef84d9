// A whole listing as it came over the data connection: split into lines (CR LF
// or LF) and each line read by the parser of its dialect. MLSD lines go to the
// MLSD parser; LIST lines that begin with a digit are DOS/IIS, all others Unix.
#pragma once

#include <string_view>
#include <vector>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

enum class ListingFormat { Mlsd, List };

std::vector<ListingEntry> ParseListing(std::string_view data, ListingFormat format);

}  // namespace sapi::ftpclient
