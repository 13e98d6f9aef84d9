#include "TestFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace sapi::test {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t BlockSize = 1 << 20;

[[noreturn]] void ThrowErrno(const std::string &what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TempDir::TempDir(std::string_view prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) ThrowErrno("mkdtemp " + pattern);
    path_ = pattern;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void WriteWholeFile(const fs::path &path, std::string_view bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadWholeFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string PseudoRandomBytes(std::size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto &byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

void WritePseudoRandomFile(const fs::path &path, uint64_t size, uint32_t seed) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 generator(seed);
    std::vector<uint64_t> block(BlockSize / sizeof(uint64_t));
    for (uint64_t left = size; left > 0 && out;) {
        for (auto &word : block) word = generator();
        const auto count = static_cast<std::size_t>(std::min<uint64_t>(left, BlockSize));
        out.write(reinterpret_cast<const char *>(block.data()), static_cast<std::streamsize>(count));
        left -= count;
    }
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void MakeSparseFile(const fs::path &path, uint64_t size) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) ThrowErrno("open " + path.string());
    const int result = ::ftruncate(descriptor, static_cast<off_t>(size));
    const int error = errno;
    ::close(descriptor);
    if (result != 0) throw std::system_error(error, std::generic_category(), "ftruncate " + path.string());
}

bool SameFileContents(const fs::path &first, const fs::path &second) {
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (!a || !b) return false;
    std::vector<char> blockA(BlockSize), blockB(BlockSize);
    while (true) {
        a.read(blockA.data(), static_cast<std::streamsize>(blockA.size()));
        b.read(blockB.data(), static_cast<std::streamsize>(blockB.size()));
        const auto countA = a.gcount();
        if (countA != b.gcount()) return false;
        if (!std::equal(blockA.begin(), blockA.begin() + countA, blockB.begin())) return false;
        if (!a || !b) return a.eof() && b.eof();
    }
}

}  // namespace sapi::test
