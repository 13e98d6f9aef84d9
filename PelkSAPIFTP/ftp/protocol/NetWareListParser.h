// One line of a NetWare (and NetWare-style) LIST:
//   d [RWCEAFMS] admin                     512 Jan 01 12:00 SYSTEM
//   - [R----F--] jsmith                  12345 Feb 03  2004 REPORT.TXT
// The kind, the rights in brackets, the owner, the size, an ls-style date,
// then the name after one blank.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseNetWareListLine(std::string_view line);

}  // namespace sapi::ftpclient
