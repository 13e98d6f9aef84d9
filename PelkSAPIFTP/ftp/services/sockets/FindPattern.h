// What FtpFindFirstFile lists for a search text: a folder path (or nothing,
// for the current folder) is listed whole; a text with '*' or '?' in its last
// part lists the folder before that part and keeps the names that match it.
#pragma once

#include <string>

#include "platform/WideText.h"

namespace sapi::ftpclient {

struct FindPattern {
    std::string listPath;  // UTF-8; empty for the current folder
    WideString filter;     // empty: keep every entry
};

FindPattern SplitFindPattern(WideView pattern);

// '*' matches any run, '?' any one character; nothing else is special.
bool MatchesWildcard(WideView name, WideView pattern);

}  // namespace sapi::ftpclient
