// A close(2) that reports an error for one chosen file, as a full disk or a
// network file system does when the last bytes cannot be written. The suite
// links with --wrap=close, so every close in it passes through here.
#pragma once

#include <filesystem>

namespace sapi::testing {

// While one lives, closing a descriptor of `path` closes it and fails with EIO.
class FailingClose {
public:
    explicit FailingClose(const std::filesystem::path &path);
    ~FailingClose();
    FailingClose(const FailingClose &) = delete;
    FailingClose &operator=(const FailingClose &) = delete;
};

}  // namespace sapi::testing
