// One line of a DOS/IIS-style LIST:
//   01-02-24  03:04AM       <DIR>          sub
//   01-02-24  03:04AM                   12 a.txt
//   02-11-2021  10:33 PM             1,234 spaced time, thousands separated
//   2002-09-02  18:48       <DIR>          an ISO date
// IIS right-aligns the size in a column that ends one blank before the name,
// and pads "<DIR>" with ten blanks, so names with leading blanks survive.
// Other Windows servers write the size with the locale's thousands separator
// ("1,234" or "1.234") and the time as "10:30 AM".
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseDosListLine(std::string_view line);

}  // namespace sapi::ftpclient
