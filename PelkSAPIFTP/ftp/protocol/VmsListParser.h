// One line of a VMS listing (OpenVMS's own FTP server, MultiNet, TCPware):
//   Directory DISK$USER:[WEB]
//
//   INDEX.HTML;3            4/6       8-JUN-2004 11:55:38  [WEB,OWNER]  (RWED,RWED,RE,)
//   LOGS.DIR;1              1/3      12-JAN-2005 09:10     [WEB,OWNER]  (RWE,RWE,RE,E)
//
//   Total of 2 files, 5/9 blocks.
// A name too long for its column stands alone on its line, the rest of the
// entry on the next, indented.
// The name keeps its version ("INDEX.HTML;3"), as the server shows it and
// takes it back; a ".DIR" is a folder, named without ".DIR;1" as CWD takes
// it. The size is counted in blocks of 512 bytes (used/allocated).
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseVmsListLine(std::string_view line);
// "Directory DISK$USER:[WEB]", "Total of 2 files, 5/9 blocks.": no entries, no fault.
bool IsVmsHeader(std::string_view line);
// "A_NAME_TOO_LONG_FOR_ITS_COLUMN.TXT;1" alone: the entry goes on in the next line.
bool IsVmsNameAlone(std::string_view line);

}  // namespace sapi::ftpclient
