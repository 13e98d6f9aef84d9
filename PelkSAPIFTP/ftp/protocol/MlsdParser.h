// One line of an MLSD listing: "fact=value;fact=value; name". The facts end at
// the first blank; everything after that one blank is the name, leading blanks
// included. A line is an entry only when what comes before the blank is a run
// of well-formed facts, each "name=value;", or nothing at all (" name": RFC
// 3659 lets a server send no facts, and a value may be empty: "size=;"):
// "1 ftp" or binary junk with a blank in it is not. The folder's own entries
// (type=cdir, type=pdir: "." and "..") are well-formed but not entries of the
// folder, and give nothing; nor does a name with a '/' in it.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseMlsdLine(std::string_view line);

// A well-formed line for the listed folder itself or its parent.
bool IsMlsdFolderItself(std::string_view line);

}  // namespace sapi::ftpclient
