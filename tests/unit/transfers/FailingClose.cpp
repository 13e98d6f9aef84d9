#include "FailingClose.h"

#include <cerrno>
#include <string>
#include <system_error>

namespace {

std::filesystem::path failingPath;

bool NamesFailingPath(int descriptor) {
    if (failingPath.empty()) return false;
    std::error_code error;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    return !error && target == failingPath;
}

}  // namespace

extern "C" int __real_close(int descriptor);
extern "C" int __wrap_close(int descriptor);

extern "C" int __wrap_close(int descriptor) {
    if (!NamesFailingPath(descriptor)) return __real_close(descriptor);
    // As on Linux: the descriptor is gone even though the close failed.
    __real_close(descriptor);
    errno = EIO;
    return -1;
}

namespace sapi::testing {

FailingClose::FailingClose(const std::filesystem::path &path) { failingPath = std::filesystem::weakly_canonical(path); }

FailingClose::~FailingClose() { failingPath.clear(); }

}  // namespace sapi::testing
