// Names beyond ASCII, and with blanks, through the loaded module: UTF-16 at
// the host, UTF-8 on the wire and on the server's disk. Wine's WinInet passes
// names through code page 1252 instead, and cuts a listed name at its first
// blank, so there only an ASCII name moves, and none of these is listed whole
// (asserted as such).
#include <string>

#include "Check.h"
#include "ModuleHarness.h"
#include "TestEnvironment.h"

using namespace wintest;

namespace {

const char *const codePage = "names pass through code page 1252, not UTF-8";
const char *const firstBlank = "a listed name ends at its first blank";

}  // namespace

TEST_CASE(NamesAreListedFetchedAndStoredAsUtf8) {
    struct Case {
        const wchar_t *name;
        bool movesUnderWine;             // Wine's WinInet finds it by name
        const char *listingDeviation;    // why Wine's WinInet does not list it
    };
    const Case cases[] = {
        {L"with  two blanks .txt", true, firstBlank},
        {L"caf\u00e9-cr\u00e8me.txt", false, codePage},
        {L"\u65e5\u672c\u8a9e\u306e\u540d\u524d.txt", false, codePage},
        {L"\U0001F600-outside-the-BMP.txt", false, codePage},
    };
    WriteWholeFile(InWork(L"source.bin"), PatternBytes(70000));
    for (const Case &c : cases) {
        const std::wstring name = c.name;
        const std::string content = "named " + std::to_string(name.size());
        WriteWholeFile(UnderRoot(name), content);
        Connection connection;
        CHECK(Contains(Assets(connection.handle()), name) == Expected(true, false, c.listingDeviation));

        const std::wstring local = InWork(L"copy of " + name);
        CHECK_EQ(Api().DownloadAsset(connection.handle(), name.c_str(), local.c_str(), nullptr, nullptr),
                 Expected(ApiOk, c.movesUnderWine ? ApiOk : ApiRemoteOpenFailed, codePage));
        if (FileExists(local)) CHECK_EQ(ReadWholeFile(local), content);

        ParameterSet title;
        title.Set("Title", L"stored " + name);
        CHECK_EQ(Api().UploadAsset(connection.handle(), title.handle(), InWork(L"source.bin").c_str(),
                                   nullptr, nullptr), ApiOk);
        CHECK(FileExists(UnderRoot(L"stored " + name)) == Expected(true, c.movesUnderWine, codePage));
    }
}

TEST_CASE(FolderNamesBeyondAscii) {
    if (WineWinInet()) return;  // the folder would be made under a mangled name
    const std::wstring folder = L"Gr\u00fc\u00dfe \u5927";
    Connection c;
    CHECK_EQ(Api().ChangeFolder(c.handle(), folder.c_str()), ApiOk);  // made, then entered
    CHECK(FileExists(UnderRoot(folder)));
    CHECK_EQ(CurrentFolder(c.handle()), L"/" + folder);
    WriteWholeFile(UnderRoot(folder + L"\\inner \u00e9.txt"), "inner");
    CHECK_EQ(Api().ChangeFolder(c.handle(), L".."), ApiOk);
    CHECK_EQ(Api().ChangeFolder(c.handle(), folder.c_str()), ApiOk);
    CHECK(Contains(Assets(c.handle()), L"inner \u00e9.txt"));
}
