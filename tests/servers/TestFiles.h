// Files for tests: a temporary folder that cleans up after itself, whole-file
// reads and writes, pseudo-random and sparse files, and byte-exact comparison.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace sapi::test {

// A fresh folder under the system's temp folder, mode 0755 so that an FTP server
// running as another account can reach folders inside it; removed with its
// contents on destruction.
class TempDir {
public:
    explicit TempDir(std::string_view prefix = "sapi-test");
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path &relative) const {
        return path_ / relative;
    }

private:
    std::filesystem::path path_;
};

// Writes `bytes` as the whole file, making its folders; throws on failure.
void WriteWholeFile(const std::filesystem::path &path, std::string_view bytes);
// The whole file; throws when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path &path);

// `size` bytes that depend only on `seed`.
std::string PseudoRandomBytes(std::size_t size, uint32_t seed);
// A file of `size` pseudo-random bytes, written in blocks so that large files
// need little memory.
void WritePseudoRandomFile(const std::filesystem::path &path, uint64_t size, uint32_t seed);
// A file of `size` bytes that takes (almost) no disk space: truncate only.
void MakeSparseFile(const std::filesystem::path &path, uint64_t size);

// True when both files exist and hold the same bytes.
bool SameFileContents(const std::filesystem::path &first, const std::filesystem::path &second);

}  // namespace sapi::test
