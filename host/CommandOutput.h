// Small helpers shared by the command files.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace sapihost {

inline std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name without a folder in it: one the current listing can confirm.
inline bool IsSimpleName(const std::string &name) { return name.find('/') == std::string::npos; }

inline void PrintLine(const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace sapihost
