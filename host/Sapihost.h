// sapihost's main program, given its arguments as UTF-8; returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace sapihost {

int Main(const std::vector<std::string> &args);

// The module that goes with the executable: ../PelkSAPIFTP/PelkSAPIFTP.so in
// the build tree, ../<libdir>/PelkSAPIFTP/ when installed, or the same folder
// (the Windows zip).
std::string DefaultModulePath(const std::string &executablePath);

}  // namespace sapihost
