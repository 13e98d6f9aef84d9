// One line of an MLSD listing: "fact=value;fact=value; name". The facts end at
// the first blank; everything after that one blank is the name, leading blanks
// included. The folder's own entries (type=cdir, type=pdir: "." and "..") are
// not entries of the folder and give nothing.
#pragma once

#include <optional>
#include <string_view>

#include "ftp/protocol/ListingEntry.h"

namespace sapi::ftpclient {

std::optional<ListingEntry> ParseMlsdLine(std::string_view line);

}  // namespace sapi::ftpclient
