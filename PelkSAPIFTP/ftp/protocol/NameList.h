// What NLST of a folder lists, as entries of that folder: the names alone,
// for a folder whose LIST or MLSD lines this client cannot read. Some servers
// put the folder in front ("NLST pub" gives "pub/a.txt", pure-ftpd and
// others "./a.txt"); that part is cut off. What is left must be a name in the
// folder: not empty, not "." or "..", no '/'. The kind of a name is unknown,
// so every one is listed as a file; a folder among them still opens by name.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/protocol/CompactListing.h"

namespace sapi::ftpclient {

// The name `listed` gives in `folder` (as NLST was given it; empty for the
// current one), or nothing when it names no entry of the folder.
std::optional<std::string_view> NameInFolder(std::string_view listed, std::string_view folder);

// Adds each of `names` (as a ListingReader of NLST read them) that names an
// entry of `folder` to `into`. False when `into` outgrew its limit.
// `dropped` counts the others.
bool AddNamesInFolder(const CompactListing &names, std::string_view folder, CompactListing &into,
                      std::size_t &dropped);

// Whether `name` is a folder, by a listing line that could not be read but
// ends in that name: a Unix mode's first letter, or DOS's "<DIR>" before it.
// Nothing when no such line is among `lines`.
std::optional<bool> KindInUnreadLines(const std::vector<std::string> &lines, std::string_view name);

}  // namespace sapi::ftpclient
