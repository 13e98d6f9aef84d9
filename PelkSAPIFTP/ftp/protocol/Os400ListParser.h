// One line of an OS/400 (IBM i) LIST, from the library file system or the
// integrated file system alike:
//   QSYS           77824 02/23/00 15:09:55 *DIR       QSYS/
//   PAYROLL       106496 03/15/07 10:00:00 *FILE      PAYDATA
//   PAYROLL                                *MEM       PAYDATA.FILE/JAN2007.MBR
//   JSMITH          2048 15.03.07 10:00:00 *STMF      notes.txt
// The owner, the size, the date and time (missing for a member), the object
// type, the name. *DIR, *LIB and *FLR are folders (named without the '/' the
// server puts after them); a member is named as in its file.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseOs400ListLine(std::string_view line);

}  // namespace sapi::ftpclient
