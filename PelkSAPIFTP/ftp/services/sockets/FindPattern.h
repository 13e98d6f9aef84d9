// What FtpFindFirstFile lists for a search text: a folder path (or nothing,
// for the current folder) is listed whole; a text with '*' or '?' in its last
// part lists the folder before that part and keeps the names that match it.
// (The folder the server is in is listed whole whatever its name holds: the
// client services see to that before they split a text.)
#pragma once

#include "platform/WideText.h"

namespace sapi::ftpclient {

struct FindPattern {
    WideString listPath;  // empty for the current folder
    WideString filter;     // empty: keep every entry
};

FindPattern SplitFindPattern(WideView pattern);

// '*' matches any run, '?' any one character; nothing else is special.
bool MatchesWildcard(WideView name, WideView pattern);

}  // namespace sapi::ftpclient
