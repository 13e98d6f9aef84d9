#include "WindowsWorld.h"

#include <windows.h>

#include "TestEnvironment.h"

namespace wintest {

namespace {

// "a/b/c" under the server's folder, as a Windows path.
std::wstring OnServer(const std::string &path) {
    std::wstring relative = sapi::WideFromUtf8(path);
    for (wchar_t &character : relative) {
        if (character == L'/') character = L'\\';
    }
    return UnderRoot(relative);
}

void MakeParents(const std::string &path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        wintest::MakeFolder(OnServer(path.substr(0, slash)));
    }
}

}  // namespace

sapi::contract::ServerLogin WindowsWorld::Login() { return {L"127.0.0.1", ServerPort(), L"user", L"pass"}; }

void WindowsWorld::PutFile(const std::string &path, const std::string &bytes) {
    MakeParents(path);
    WriteWholeFile(OnServer(path), bytes);
}

void WindowsWorld::MakeFolder(const std::string &path) {
    MakeParents(path + "/");
}

std::optional<std::string> WindowsWorld::FileOnServer(const std::string &path) {
    const DWORD attributes = GetFileAttributesW(OnServer(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return std::nullopt;
    }
    return ReadWholeFile(OnServer(path));
}

// The end moved past nothing written: Wine truncates the Linux file, which
// stays sparse.
bool WindowsWorld::PutHugeFile(const std::string &path, uint64_t size) {
    MakeParents(path);
    HANDLE file = CreateFileW(OnServer(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return sized;
}

}  // namespace wintest
