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

// The module the road runs on (FTP_TEST_MODULE, its short-wait build) and
// the FTP client in it (FTP_TEST_CLIENT: "wininet" or "own").
std::wstring ModuleUnderTest();
bool TestingWinInet();

// Wine's WinInet differs from the documented one in places. Cases assert the
// documented value on Windows, or with the plug-in's own client, and Wine's
// own value when Wine's WinInet is under test, naming the difference, so that
// each run shows which of the two it met.
bool OnWine();
bool WineWinInet();  // OnWine() && TestingWinInet()
template <typename T>
T Expected(const T &documented, const T &underWine, const char *deviation);
void NoteDeviation(const char *deviation);

template <typename T>
T Expected(const T &documented, const T &underWine, const char *deviation) {
    if (!WineWinInet()) {
        return documented;
    }
    NoteDeviation(deviation);
    return underWine;
}

}  // namespace wintest
