// One line of an OS/2 LIST (IBM's TCP/IP for OS/2, and servers that copied it):
//       0           DIR   05-12-97   14:03  private
//   73098      A          04-06-97   15:20  README.TXT
// The size first, the attributes (DIR marks a folder), the date, the time,
// then the name after two blanks.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseOs2ListLine(std::string_view line);

}  // namespace sapi::ftpclient
