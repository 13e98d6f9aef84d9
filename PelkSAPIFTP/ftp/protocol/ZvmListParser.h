// One line of a z/VM (CMS) LIST, of a minidisk or a shared file system folder:
//   PROFILE  EXEC     V         72         23          1 2004-03-11 10:12:33 VMUSER
//   SALES    DATA     F         80        100          2  3/11/04 10:12:33 -
//   REPORTS  DIR      -          -          -          - 2004-03-11 10:12:33 -
// The file name and type (the name the server takes is "PROFILE.EXEC"), the
// record format and length, records and blocks, the date and time. A DIR is a
// folder, named by its first word. The size is records times their length.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

// A file's name is made of two parts of the line, joined in `name`: the
// entry is valid as long as both are.
std::optional<ListingEntry> ParseZvmListLine(std::string_view line, std::string &name);

}  // namespace sapi::ftpclient
