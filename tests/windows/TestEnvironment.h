// What the Windows suite learns from tools/test-windows.sh (the server's port
// and folder, a scratch folder) and the little file work its cases share.
#pragma once

#include <cstdint>
#include <string>

namespace wintest {

uint16_t ServerPort();          // FTP_TEST_PORT
std::wstring ServerRoot();      // FTP_TEST_ROOT: the server's folder, as a Windows path
std::wstring WorkFolder();      // FTP_TEST_WORK: scratch space for local files
std::wstring UnderRoot(const std::wstring &relative);  // ServerRoot() + "\" + relative
std::wstring InWork(const std::wstring &name);

// Local files, whole.
bool WriteWholeFile(const std::wstring &path, const std::string &bytes);
std::string ReadWholeFile(const std::wstring &path);  // "" when missing
bool FileExists(const std::wstring &path);
bool MakeFolder(const std::wstring &path);

// count bytes of a fixed pattern that no two offsets below 251 share.
std::string PatternBytes(std::size_t count);

// Wine's WinInet differs from the documented one in places. Cases assert the
// documented value on Windows and Wine's own value under Wine, naming the
// difference, so that the same run on Windows shows which of the two it met.
bool OnWine();
template <typename T>
T Expected(const T &documented, const T &underWine, const char *deviation);
void NoteDeviation(const char *deviation);

template <typename T>
T Expected(const T &documented, const T &underWine, const char *deviation) {
    if (!OnWine()) {
        return documented;
    }
    NoteDeviation(deviation);
    return underWine;
}

}  // namespace wintest
