// Lines of an MVS (z/OS) listing: data sets of a high-level qualifier,
//   Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname
//   PROD01 3390   2004/06/23  1   15  FB      80 27920  PS  SALES.Q2.DATA
//   PROD02 3390   2004/06/23  2   45  FB      80  6160  PO  SALES.JCL
//   Migrated                                                SALES.OLD
// or the members of a partitioned one,
//    Name     VV.MM   Created       Changed      Size  Init   Mod   Id
//   BUILD     01.03 2003/11/04 2004/06/23 10:41    52    40     0 OPS1
// A partitioned data set (PO) is a folder of its members; the rest are
// files. Sizes are in tracks or lines, not bytes: none is given.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseMvsDataSetLine(std::string_view line);
std::optional<ListingEntry> ParseMvsMemberLine(std::string_view line);
// The column headers above either kind of listing.
bool IsMvsHeader(std::string_view line);

}  // namespace sapi::ftpclient
