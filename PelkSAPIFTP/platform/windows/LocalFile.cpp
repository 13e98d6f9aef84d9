// Local files through the kernel's own calls, with the open modes the
// transfers need: a download replaces its file and lets others read it
// meanwhile; an upload leaves its file open to every other use.
#include "platform/LocalFile.h"

#include <windows.h>

#include <utility>

namespace sapi {

namespace {

HANDLE Native(void *handle) { return static_cast<HANDLE>(handle); }

void *OpenOrNull(const WideString &path, DWORD access, DWORD share, DWORD disposition) {
    HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

}  // namespace

LocalFile::~LocalFile() { Close(); }

LocalFile::LocalFile(LocalFile &&other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

LocalFile &LocalFile::operator=(LocalFile &&other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

LocalFile LocalFile::CreateForWriting(const WideString &path) {
    LocalFile file;
    file.handle_ = OpenOrNull(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    return file;
}

LocalFile LocalFile::OpenForReading(const WideString &path) {
    LocalFile file;
    file.handle_ = OpenOrNull(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    return file;
}

bool LocalFile::IsOpen() const { return handle_ != nullptr; }

bool LocalFile::Write(const void *data, uint32_t count) {
    if (handle_ == nullptr) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(Native(handle_), data, count, &written, nullptr) != FALSE && written == count;
}

bool LocalFile::Read(void *buffer, uint32_t capacity, uint32_t *count) {
    DWORD read = 0;
    const bool done = handle_ != nullptr &&
                      ReadFile(Native(handle_), buffer, capacity, &read, nullptr) != FALSE;
    if (count != nullptr) {
        *count = done ? read : 0;
    }
    return done;
}

uint64_t LocalFile::Size() const {
    if (handle_ == nullptr) {
        return 0;
    }
    DWORD high = 0;
    const DWORD low = GetFileSize(Native(handle_), &high);
    return (static_cast<uint64_t>(high) << 32) | low;
}

bool LocalFile::Close() {
    if (handle_ == nullptr) {
        return true;
    }
    return CloseHandle(Native(std::exchange(handle_, nullptr))) != FALSE;
}

bool DeleteLocalFile(const WideString &path) { return DeleteFileW(path.c_str()) != FALSE; }

}  // namespace sapi
