// Windows local files that sapihost reads and checks itself: the module's own
// file, the netrc file, and the download's target. Paths arrive in UTF-8.
#include <windows.h>

#include <cstdio>

#include "platform/Platform.h"

namespace sapihost::platform {

namespace {

std::wstring WidePath(const std::string &utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), length);
    out.resize(out.size() - 1);
    return out;
}

std::string SystemMessage(DWORD code) {
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string &path) {
    std::FILE *file = _wfopen(WidePath(path).c_str(), L"rb");
    if (file == nullptr) return std::nullopt;
    std::string bytes;
    char block[65536];
    size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

std::optional<std::string> CreateEmptyFile(const std::string &path) {
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return SystemMessage(GetLastError());
    CloseHandle(file);
    return std::nullopt;
}

// Windows keeps no owner-only bits in a mode; the profile folder's ACL guards it.
bool OthersMayAccess(const std::string &) { return false; }

std::string NetrcPath() {
    auto home = Environment("HOME");
    if (!home || home->empty()) home = Environment("USERPROFILE");
    if (!home || home->empty()) return {};
    const std::string dotted = *home + "\\.netrc";
    if (RegularFileSize(dotted)) return dotted;
    return *home + "\\_netrc";
}

}  // namespace sapihost::platform
