// One line of a Unix-style LIST (ls -l), as vsftpd, proftpd, pure-ftpd and
// pyftpdlib send it:
//   -rw-r--r--    1 2121       2121               12 Jan  2  2024 a.txt
//   drwxr-xr-x   2 root     root         4096 Dec 07 07:25 sub
// A line is an entry only when it starts with a mode ("drwxr-xr-x") and has a
// date. The columns between them vary (no group, wide numeric owners), so the
// parser finds the date (month, day, time or year) after a size and takes
// everything after the one blank that follows it as the name: names with
// blanks inside or in front survive. "total N" and unreadable lines give
// nothing. A link's " -> target" is not part of its name.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseUnixListLine(std::string_view line);

}  // namespace sapi::ftpclient
