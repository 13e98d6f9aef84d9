// One line of a Unix-style LIST (ls -l), as vsftpd, proftpd, pure-ftpd and
// pyftpdlib send it, and as servers under other locales and other ls do:
//   -rw-r--r--    1 2121       2121               12 Jan  2  2024 a.txt
//   drwxr-xr-x   2 root     root         4096 Dec 07 07:25 sub
//   -rw-r--r--   1 ftp  ftp   0 6月 3日 2003年 試験ファイル.csv
//   -rwxr-xr-x    1 geo      geo           346 2005-04-08 11:22 services.vsp
//   drwxr-x---+1464 chrism   chrism     41472 Feb 25 13:17 20090225
//   -rw-r--r--   1 Some User  Domain Users  12 Jan  2  2024 cygwin.txt
//   crw-rw-rw-   1 root     root       1,   3 Jan  1  1970 null
// A line is an entry only when it starts with a mode ("drwxr-xr-x") and has
// a date (UnixListDate.h) right after a size. The columns between them vary
// (no group, owners and groups of several words, a link count joined to the
// mode), so no column is counted: the first date that follows a size is the
// date, and everything after the one blank that follows it is the name, so
// names with blanks inside or in front survive, and so do names that hold a
// date of their own ("report 2024-01-02 10:00.txt"). "total N" and unreadable
// lines give nothing. A link's " -> target" is not part of its name.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseUnixListLine(std::string_view line);

// Parts shared with the reader of the rarer forms (UnixListForms.h): the mode
// word, and the entry whose date ends at `dateEnd` (its name after one blank).
bool IsUnixModeWord(std::string_view word);
std::optional<ListingEntry> UnixEntryAfter(std::string_view line, std::size_t dateEnd, uint64_t size);

}  // namespace sapi::ftpclient
