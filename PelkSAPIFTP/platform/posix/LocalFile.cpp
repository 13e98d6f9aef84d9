// Local files on POSIX systems: the UTF-16 path becomes UTF-8 bytes for open(2).
#include "platform/LocalFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace sapi {

namespace {

constexpr mode_t createdFileMode = 0644;

// A path with a NUL inside would name a different file than the host asked for.
bool ToNativePath(const WideString &path, std::string *native) {
    if (path.find(WideChar{0}) != WideString::npos) {
        return false;
    }
    *native = Utf8FromWide(path);
    return true;
}

int OpenPath(const WideString &path, int flags) {
    std::string native;
    if (!ToNativePath(path, &native)) {
        return -1;
    }
    int descriptor;
    do {
        descriptor = ::open(native.c_str(), flags | O_CLOEXEC, createdFileMode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

LocalFile::~LocalFile() { Close(); }

LocalFile::LocalFile(LocalFile &&other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}

LocalFile &LocalFile::operator=(LocalFile &&other) noexcept {
    if (this != &other) {
        Close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

LocalFile LocalFile::CreateForWriting(const WideString &path) {
    LocalFile file;
    file.descriptor_ = OpenPath(path, O_WRONLY | O_CREAT | O_TRUNC);
    return file;
}

LocalFile LocalFile::OpenForReading(const WideString &path) {
    LocalFile file;
    file.descriptor_ = OpenPath(path, O_RDONLY);
    // Windows refuses to open a folder as a file; so do we, rather than fail on the first read.
    struct stat status {};
    if (file.IsOpen() && (::fstat(file.descriptor_, &status) != 0 || S_ISDIR(status.st_mode))) {
        file.Close();
    }
    return file;
}

bool LocalFile::IsOpen() const { return descriptor_ >= 0; }

bool LocalFile::Write(const void *data, uint32_t count) {
    if (!IsOpen()) {
        return false;
    }
    const auto *bytes = static_cast<const unsigned char *>(data);
    std::size_t left = count;
    while (left > 0) {
        const ssize_t written = ::write(descriptor_, bytes, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool LocalFile::Read(void *buffer, uint32_t capacity, uint32_t *count) {
    *count = 0;
    if (!IsOpen()) {
        return false;
    }
    ssize_t got;
    do {
        got = ::read(descriptor_, buffer, capacity);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return false;
    }
    *count = static_cast<uint32_t>(got);
    return true;
}

uint64_t LocalFile::Size() const {
    struct stat status {};
    if (!IsOpen() || ::fstat(descriptor_, &status) != 0 || status.st_size < 0) {
        return 0;
    }
    return static_cast<uint64_t>(status.st_size);
}

bool LocalFile::Close() {
    if (!IsOpen()) {
        return true;
    }
    // close(2) must not be retried after EINTR on Linux: the descriptor is gone either way.
    const int result = ::close(std::exchange(descriptor_, -1));
    return result == 0;
}

bool DeleteLocalFile(const WideString &path) {
    std::string native;
    return ToNativePath(path, &native) && ::unlink(native.c_str()) == 0;
}

}  // namespace sapi
