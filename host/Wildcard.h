// The simple wildcards of mget and mput: '*' for any run of characters, '?'
// for one, matched against whole names (bytes of UTF-8; '?' takes one byte).
#pragma once

#include <string>
#include <string_view>

namespace sapihost {

bool HasWildcard(std::string_view text);
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace sapihost
