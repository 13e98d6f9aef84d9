// The module loaded as a host loads it, on the road a host takes: describe,
// open, list, navigate, ask about a file, delete, abort, close. Transfers and
// callbacks are in TransferRoadTest.cpp. Every case runs against the real
// server that tools/test-windows.sh started, through Wine's (or Windows') WinInet.
#include <cstdio>

#include "Check.h"
#include "ModuleHarness.h"
#include "TestEnvironment.h"

using namespace wintest;

namespace {

const std::vector<std::wstring> none;

}  // namespace

TEST_CASE(EntryFoundByNameAndOrdinalInTheShippedModule) {
    LoadedModule shipped(L"PelkSAPIFTP.dll");
    const auto byName = shipped.Entry();
    const auto byOrdinal = FunctionCast<InitServerAPIFunction>(GetProcAddress(shipped.handle(), MAKEINTRESOURCEA(1)));
    CHECK(byName != nullptr);
    CHECK(byName == byOrdinal);
    CHECK(GetProcAddress(shipped.handle(), "ReleaseServerAPI") == nullptr);
    const ServerApiFunctions *table = nullptr;
    CHECK_EQ(byName(2, &table), ApiVersionMismatch);
    CHECK(table == nullptr);
    CHECK_EQ(byName(SERVER_API_VERSION, &table), ApiOk);
    CHECK(table != nullptr);
    if (table != nullptr) {
        const auto *slots = reinterpret_cast<void *const *>(table);
        for (int i = 0; i < SERVER_API_SLOT_COUNT; ++i) CHECK(slots[i] != nullptr);
        table->ReleaseServerAPI();
    }
}

TEST_CASE(Describe) {
    ServerApiChar text[64] = {};
    uint32_t length = 0;
    CHECK_EQ(Api().GetServerTypeName(nullptr, &length), ApiOk);
    CHECK_EQ(length, 4u);
    CHECK_EQ(Api().GetServerTypeName(text, &length), ApiOk);
    CHECK_EQ(std::wstring(text), std::wstring(L"FTP"));
    length = 64;
    CHECK_EQ(Api().GetServerGroupName(text, &length), ApiOk);
    CHECK_EQ(std::wstring(text), std::wstring(L"FTP Servers"));
    CHECK_EQ(Api().GetServerTypeId(text), ApiOk);
    CHECK_EQ(std::wstring(text).size(), 38u);
    ParameterSet set;
    CHECK_EQ(Api().DescribeServerParameters(set.handle()), ApiOk);
    CHECK_EQ(set.Get("ServerPrimaryPort"), std::wstring(L"FTP Server Port"));
    CHECK_EQ(set.Get("ServerVerifyByRead"), std::wstring(L"Pre-Transfer File Test"));
    CHECK_EQ(Api().DescribeAssetParameters(set.handle()), ApiOk);
    CHECK_EQ(set.Get("AssetName"), std::wstring(L"Asset Name"));
}

// FTPS comes with the own client (tools/test-windows.sh runs it against real servers). The WinInet
// one has none: it does not offer the keys, and asking for TLS ends the open before any
// connection (never a clear-text one).
TEST_CASE(TlsOnlyWhereTheClientHasIt) {
    ParameterSet described;
    CHECK_EQ(Api().DescribeServerParameters(described.handle()), ApiOk);
    CHECK(described.Has("ServerUseTLS") != TestingWinInet());
    CHECK(described.Has("ServerTLSCAFile") != TestingWinInet());
    if (!TestingWinInet()) return;
    for (const wchar_t *mode : {L"1", L"2"}) {
        ParameterSet settings;
        settings.Set("ServerPrimaryAddress", L"127.0.0.1");
        settings.Set("ServerPrimaryPort", std::to_wstring(ServerPort()));
        settings.Set("ServerPrimaryLoginName", L"user");
        settings.Set("ServerPrimaryLoginPassword", L"pass");
        settings.Set("ServerUseTLS", mode);
        int32_t handle = 0;
        CHECK_EQ(Api().OpenServer(settings.handle(), &handle), ApiConnectFailed);
        CHECK_EQ(handle, 0);
    }
}

TEST_CASE(OpenListsTheLoginFolder) {
    Connection c;
    CHECK_EQ(c.result(), ApiOk);
    CHECK(c.handle() > 0);
    const auto folders = Folders(c.handle());
    const auto assets = Assets(c.handle());
    CHECK(Contains(folders, L"sub"));
    CHECK(!Contains(assets, L"sub"));
    CHECK(Contains(assets, L"hello.txt"));
    CHECK(Contains(assets, L"big.bin"));
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/"));
    ServerApiChar name[64] = {};
    ServerApiChar title[64] = {};
    uint32_t length = 64;
    CHECK_EQ(Api().GetAssetName(c.handle(), 0, name, &length), ApiOk);
    length = 64;
    CHECK_EQ(Api().GetAssetTitle(c.handle(), 0, title, &length), ApiOk);
    CHECK_EQ(std::wstring(title), std::wstring(name));
    length = 64;
    CHECK_EQ(Api().GetAssetName(c.handle(), static_cast<int32_t>(assets.size()), name, &length),
             ApiIndexOutOfRange);
}

TEST_CASE(EmptyLoginFolder) {
    Connection c(L"empty");  // this user logs in to an empty folder
    CHECK_EQ(c.result(), Expected<ServerApiResult>(ApiOk, ApiFailed,
             "an empty listing fails with last error 0 instead of 18, so the open fails"));
    if (c.handle() != 0) {
        CHECK(Folders(c.handle()).empty());
        CHECK(Assets(c.handle()).empty());
    }
}

TEST_CASE(RejectedLogin) {
    ParameterSet settings;
    settings.Set("ServerPrimaryAddress", L"127.0.0.1");
    settings.Set("ServerPrimaryPort", std::to_wstring(ServerPort()));
    settings.Set("ServerPrimaryLoginName", L"user");
    settings.Set("ServerPrimaryLoginPassword", L"wrong");
    int32_t handle = 12345;
    CHECK_EQ(Api().OpenServer(settings.handle(), &handle), ApiConnectFailed);
    CHECK_EQ(handle, 12345);
    ParameterSet incomplete;
    incomplete.Set("ServerPrimaryAddress", L"127.0.0.1");
    CHECK_EQ(Api().OpenServer(incomplete.handle(), &handle), ApiMissingServerParameter);
}

TEST_CASE(Navigate) {
    Connection c;
    CHECK_EQ(Api().ChangeFolder(c.handle(), L"."), ApiOk);
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/"));

    CHECK_EQ(Api().ChangeFolder(c.handle(), L"sub"), ApiOk);
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/sub"));  // the server's PWD
    // The listing asks for "/sub" by path.
    const char *folderPattern = "a folder path as pattern lists the parent filtered by its name";
    CHECK(Folders(c.handle()) == Expected(std::vector<std::wstring>{L"deeper"},
                                          std::vector<std::wstring>{L"sub"}, folderPattern));
    CHECK(Assets(c.handle()) == Expected(std::vector<std::wstring>{L"inner.txt"}, none, folderPattern));

    CHECK_EQ(Api().ChangeFolder(c.handle(), L".."), Expected<ServerApiResult>(ApiOk, ApiFailed,
             "\"/\" as pattern lists nothing, so the listing after \"..\" to the root fails"));
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/"));
    if (!WineWinInet()) CHECK(Contains(Assets(c.handle()), L"hello.txt"));

    CHECK_EQ(Api().ChangeFolder(c.handle(), L"hello.txt"), ApiFolderUnavailable);
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/"));

    CHECK_EQ(Api().ChangeFolder(c.handle(), L"made-by-change"), ApiOk);  // created, then entered
    CHECK(FileExists(UnderRoot(L"made-by-change")));
    CHECK_EQ(CurrentFolder(c.handle()), std::wstring(L"/made-by-change"));
    CHECK(Assets(c.handle()).empty());
}

TEST_CASE(AssetInformation) {
    Connection c(L"user", L"pass", true);  // with the read test
    ParameterSet info;
    CHECK_EQ(Api().GetAssetInfo(c.handle(), L"big.bin", info.handle()), ApiOk);
    CHECK_EQ(info.Get("AssetName"), std::wstring(L"big.bin"));
    CHECK_EQ(info.Get("AssetSize"), Expected<std::wstring>(L"600000", L"0",
             "FtpGetFileSize is a stub that answers 0"));
    CHECK(!info.Has("Under Construction"));

    ParameterSet empty;
    CHECK_EQ(Api().GetAssetInfo(c.handle(), L"empty.bin", empty.handle()), ApiOk);
    CHECK_EQ(empty.Get("AssetSize"), std::wstring(L"0"));
    CHECK_EQ(empty.Get("Under Construction"), std::wstring(L"1"));

    ParameterSet missing;  // 30 opens, 1 s apart in the shipped module
    CHECK_EQ(Api().GetAssetInfo(c.handle(), L"no-such-file", missing.handle()), ApiOk);
    CHECK(missing.Has("AssetSize"));
    CHECK_EQ(missing.Get("AssetSize"), std::wstring());
    CHECK_EQ(missing.Get("Under Construction"), std::wstring(L"1"));

    // The connection is still in step after all that.
    CHECK_EQ(Api().GetAssetInfo(c.handle(), L"hello.txt", info.handle()), ApiOk);
    CHECK_EQ(info.Get("AssetName"), std::wstring(L"hello.txt"));
}

TEST_CASE(DeleteKeepsTheCachedListing) {
    WriteWholeFile(UnderRoot(L"doomed.txt"), "bye");
    Connection c;
    CHECK(Contains(Assets(c.handle()), L"doomed.txt"));
    CHECK_EQ(Api().DeleteAsset(c.handle(), L"doomed.txt"), ApiOk);
    CHECK(!FileExists(UnderRoot(L"doomed.txt")));
    CHECK(Contains(Assets(c.handle()), L"doomed.txt"));
    CHECK_EQ(Api().DeleteAsset(c.handle(), L"doomed.txt"), ApiOk);  // refusals are not reported
    CHECK_EQ(Api().DeleteAsset(c.handle(), L"x\r\nDELE hello.txt"), ApiOk);
    CHECK(FileExists(UnderRoot(L"hello.txt")));  // the line break never reached the server
}

TEST_CASE(AbortThenClose) {
    int32_t handle = 0;
    {
        ParameterSet settings;
        settings.Set("ServerPrimaryAddress", L"127.0.0.1");
        settings.Set("ServerPrimaryPort", std::to_wstring(ServerPort()));
        settings.Set("ServerPrimaryLoginName", L"user");
        settings.Set("ServerPrimaryLoginPassword", L"pass");
        CHECK_EQ(Api().OpenServer(settings.handle(), &handle), ApiOk);
    }
    const auto assets = Assets(handle);
    Api().AbortServer(handle);
    CHECK(Assets(handle) == assets);  // answered from the cache
    CHECK_EQ(CurrentFolder(handle), std::wstring(L"/"));
    CHECK_EQ(Api().ChangeFolder(handle, L"sub"), ApiFolderUnavailable);
    CHECK_EQ(Api().ChangeFolder(handle, L"."), ApiOk);
    CHECK_EQ(Api().DownloadAsset(handle, L"hello.txt", InWork(L"aborted.txt").c_str(), nullptr, nullptr),
             ApiRemoteOpenFailed);
    CHECK(!FileExists(InWork(L"aborted.txt")));
    CHECK_EQ(Api().DeleteAsset(handle, L"hello.txt"), ApiOk);
    CHECK(FileExists(UnderRoot(L"hello.txt")));
    Api().AbortServer(handle);

    Api().CloseServer(handle);
    uint32_t length = 64;
    ServerApiChar name[64] = {};
    CHECK_EQ(Api().GetAssetName(handle, 0, name, &length), ApiNoSuchConnection);
    CHECK_EQ(Api().DeleteAsset(handle, L"hello.txt"), ApiFailed);
    Api().CloseServer(handle);
}

namespace {

void SeedServer() {
    WriteWholeFile(UnderRoot(L"hello.txt"), "Hello, world\n");
    WriteWholeFile(UnderRoot(L"big.bin"), PatternBytes(600000));
    WriteWholeFile(UnderRoot(L"nosize-big.bin"), PatternBytes(600000));
    WriteWholeFile(UnderRoot(L"cut-big.bin"), PatternBytes(600000));
    WriteWholeFile(UnderRoot(L"empty.bin"), "");
    MakeFolder(UnderRoot(L"sub"));
    MakeFolder(UnderRoot(L"sub\\deeper"));
    WriteWholeFile(UnderRoot(L"sub\\inner.txt"), "inside");
}

}  // namespace

int main(int argc, char **argv) {
    SeedServer();
    return RunCases(argc > 1 ? argv[1] : nullptr) == 0 ? 0 : 1;
}
