// One line of an OS-9 (Microware) LIST:
//    Owner    Last modified  Attributes Sector Bytecount Name
//   -------   -------------  ---------- ------ --------- ----
//      0.0    04/03/15 1340  d-ewrewr     1A4       320 CMDS
//     12.3    04/03/15 1340  ----r-wr     1B8      1024 startup
// The owner (group.user), the date and time, the attributes ('d' first for a
// folder), the sector in hex, the size, then the name after one blank.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseOs9ListLine(std::string_view line);
// The column names and the dashes below them.
bool IsOs9Header(std::string_view line);

}  // namespace sapi::ftpclient
