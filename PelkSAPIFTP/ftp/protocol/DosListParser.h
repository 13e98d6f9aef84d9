// One line of a DOS/IIS-style LIST:
//   01-02-24  03:04AM       <DIR>          sub
//   01-02-24  03:04AM                   12 a.txt
// IIS right-aligns the size in a column that ends one blank before the name,
// and pads "<DIR>" with ten blanks, so names with leading blanks survive.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseDosListLine(std::string_view line);

}  // namespace sapi::ftpclient
