// ~/.netrc, as ftp, curl and lftp read it: "machine NAME login USER password
// SECRET" entries, a "default" entry for every other machine, "account" and
// "macdef" (a macro up to the next empty line) skipped.
#pragma once

#include <optional>
#include <string>

namespace sapihost {

struct NetrcEntry {
    std::string machine;
    bool isDefault = false;
    std::optional<std::string> login;
    std::optional<std::string> password;
};

// The first entry for `host` (names compared without regard to case) whose login
// is `user`, or has none; any login when `user` is empty. The default entry
// answers for every host once no machine entry did.
std::optional<NetrcEntry> FindNetrcEntry(const std::string &text, const std::string &host, const std::string &user);

}  // namespace sapihost
