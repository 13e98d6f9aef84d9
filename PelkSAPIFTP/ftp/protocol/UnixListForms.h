// The second try at a line that starts with a Unix mode but that the fast
// reader (UnixListParser.h) did not take: the rarer forms servers send.
//   -rw-r--r--  1 u g  1234 26. Juli, 20:10 a       the day first, a month
//   -rw-r--r--  1 u g  1234 29 Jul 02:27 2014 a     not in English, a dot or
//   -rw-r--r--  1 u g  1234 01 oct 2004 a           comma after either
//   -rw-r--r--  1 u g  1234 01-jun-99 a
//   -rw-r--r--  1 u g  1234 3 29 03:26 a             numbers alone
//   -rw-r--r--  1 u g  1234 24-04-2003 17:12 a
//   -rw-r--r--  1 u g  1234 09-26 2000 a
//   -rw-r--r--  1 u g  1234 1999/10/12 a  (and 2004.07.15)
//   -rw-r--r--  1 u g  1234 2005년  1월  6일 a        the year first, marked
//   -rw-r--r--  1 u g  1234 Oct 08, 2002 09:47 a     a year before the time
//   -rw-r--r--  1 u g  33.5k Dec  7 10:00 a         a size with a unit
//   -rw-r--r--  1 u longgroup123456 Dec 7 10:00 a   a group run into the size
//   -rw-r--r--  1 u g  1234 a                       no date at all
// Only ever tried after the fast reader failed, so ordinary lines pay
// nothing for it. A date that cannot be read does not lose the line where
// the size ends it: the name follows a size, and a line with no date at all
// still has its name after the size, unless what follows the size looks like
// a date gone wrong (a digit, a month), where the line is dropped rather than
// a name made up.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseUnixListLineForms(std::string_view line);

}  // namespace sapi::ftpclient
