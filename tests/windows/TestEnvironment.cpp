#include "TestEnvironment.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace wintest {

namespace {

std::string Variable(const char *name) {
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        std::printf("environment variable %s is not set (run tools/test-windows.sh)\n", name);
        std::exit(2);
    }
    return value;
}

std::wstring WideVariable(const char *name) {
    const std::string text = Variable(name);
    return std::wstring(text.begin(), text.end());  // the script passes ASCII paths
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

}  // namespace

uint16_t ServerPort() { return static_cast<uint16_t>(std::atoi(Variable("FTP_TEST_PORT").c_str())); }
std::wstring ServerRoot() { return WideVariable("FTP_TEST_ROOT"); }
std::wstring WorkFolder() { return WideVariable("FTP_TEST_WORK"); }
std::wstring UnderRoot(const std::wstring &relative) { return ServerRoot() + L"\\" + relative; }
std::wstring InWork(const std::wstring &name) { return WorkFolder() + L"\\" + name; }

bool WriteWholeFile(const std::wstring &path, const std::string &bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.valid() &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadWholeFile(const std::wstring &path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char block[65536];
    DWORD count = 0;
    while (file.valid() && ReadFile(file.get(), block, sizeof block, &count, nullptr) && count > 0) {
        bytes.append(block, count);
    }
    return bytes;
}

bool FileExists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::wstring &path) { return CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

std::string PatternBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
    }
    return bytes;
}

std::wstring ModuleUnderTest() { return WideVariable("FTP_TEST_MODULE"); }

bool TestingWinInet() {
    static const bool wininet = Variable("FTP_TEST_CLIENT") == "wininet";
    return wininet;
}

bool WineWinInet() { return OnWine() && TestingWinInet(); }

bool OnWine() {
    static const bool wine =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

void NoteDeviation(const char *deviation) {
    static std::set<std::string> noted;
    if (noted.insert(deviation).second) {
        std::printf("  (Wine deviation asserted: %s)\n", deviation);
    }
}

}  // namespace wintest
