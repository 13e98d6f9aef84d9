// sapihost --version: our own version, and what the module says of itself.
#pragma once

#include <optional>
#include <string>

namespace sapihost {

// The first what(1) line ("@(#)" up to the next NUL or line end) in the bytes
// of a module file, without its marker; nullopt when there is none.
std::optional<std::string> FindBuildLine(const std::string &fileBytes);

// Prints the version, the module's build and FTP client, and its identity from
// the table; 1 when the module cannot be loaded.
int PrintVersion(const std::string &modulePath, bool trace);

}  // namespace sapihost
