// Local files by UTF-16 path, with the open modes of the transfers:
// a download replaces the file (others may read it meanwhile); an upload opens
// an existing file and lets others read, write or delete it meanwhile.
#pragma once

#include <cstdint>

#include "platform/WideText.h"

namespace sapi {

class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile();
    LocalFile(LocalFile &&other) noexcept;
    LocalFile &operator=(LocalFile &&other) noexcept;
    LocalFile(const LocalFile &) = delete;
    LocalFile &operator=(const LocalFile &) = delete;

    // CreateFileW(GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL).
    static LocalFile CreateForWriting(const WideString &path);
    // CreateFileW(GENERIC_READ, FILE_SHARE_READ|WRITE|DELETE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL).
    static LocalFile OpenForReading(const WideString &path);

    bool IsOpen() const;
    // WriteFile: false when not every byte was written.
    bool Write(const void *data, uint32_t count);
    // ReadFile: true with *count 0 at the end of the file.
    bool Read(void *buffer, uint32_t capacity, uint32_t *count);
    // GetFileSize, both halves.
    uint64_t Size() const;
    // CloseHandle; false when the close reported an error (data not written).
    bool Close();

private:
#if defined(_WIN32)
    void *handle_ = nullptr;
#else
    int descriptor_ = -1;
#endif
};

// DeleteFileW.
bool DeleteLocalFile(const WideString &path);

}  // namespace sapi
