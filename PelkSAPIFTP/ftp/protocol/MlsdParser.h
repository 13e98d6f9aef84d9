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

// What a line is, read once: an entry, the folder itself or its parent (no
// entry, and no fault), or neither.
struct MlsdLine {
    enum class Kind { Entry, FolderItself, Junk };
    Kind kind = Kind::Junk;
    ListingEntry entry;  // for an Entry
};

MlsdLine ReadMlsdLine(std::string_view line);

// The entry of a line, when it is one.
std::optional<ListingEntry> ParseMlsdLine(std::string_view line);

}  // namespace sapi::ftpclient
