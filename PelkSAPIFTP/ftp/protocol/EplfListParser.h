// One line of an EPLF listing (Easily Parsed LIST Format, publicfile and the
// servers that copied it): '+', facts separated by commas, a TAB, the name.
//   +i8388621.48594,m825718503,r,s280,\tdjb.html
//   +i8388621.50690,m824255907,/,\t514
// "/" marks a folder, "r" a file that can be retrieved, "s" gives the size.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseEplfListLine(std::string_view line);

}  // namespace sapi::ftpclient
