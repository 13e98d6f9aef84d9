// POSIX local files that sapihost reads and checks itself: the module's own
// file, ~/.netrc, and the download's target.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Platform.h"

namespace sapihost::platform {

std::optional<std::string> ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return bytes.str();
}

std::optional<std::string> CreateEmptyFile(const std::string &path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return std::string(std::strerror(errno));
    close(fd);
    return std::nullopt;
}

bool OthersMayAccess(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0;
}

std::string NetrcPath() {
    const char *home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd *user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || *home == '\0') return {};
    return std::string(home) + "/.netrc";
}

}  // namespace sapihost::platform
