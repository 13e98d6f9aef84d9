// Where a server's login comes from: the URL or --password, SAPIHOST_PASSWORD,
// ~/.netrc, the anonymous login, or a prompt on the terminal, in that order.
#pragma once

#include <optional>
#include <string>

#include "Session.h"

namespace sapihost {

// Fills in the user (when the netrc names one, or "anonymous") and the password,
// and says where the password came from in `server.passwordSource`. `givenBy`
// names where `given` came from ("the URL", "--password").
bool ResolvePassword(ServerSettings &server, const std::optional<std::string> &given, std::string &error,
                     const std::string &givenBy = "the URL");

}  // namespace sapihost
