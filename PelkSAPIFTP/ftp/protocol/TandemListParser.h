// One line of a Tandem (HPE NonStop) Guardian subvolume's LIST:
//   File         Code             EOF  Last Modification    Owner  RWEP
//   ORDERS        101            7504  16-Jan-03 10:23:06 255, 58 "nnnn"
//   ORDERSO         0               0   9-Feb-04 08:01:45 255,  1 "oooo"
// The name, the file code, the end of file (its size), the date and time.
// A subvolume holds files only.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseTandemListLine(std::string_view line);
// "File  Code  EOF  Last Modification ...": no entry, no fault.
bool IsTandemHeader(std::string_view line);

}  // namespace sapi::ftpclient
