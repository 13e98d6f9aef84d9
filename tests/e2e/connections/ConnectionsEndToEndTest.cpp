// The connection operations through the loaded module's table, as a host uses
// them, against real FTP servers on loopback: opening from a described
// parameter set, walking and changing folders, deleting, aborting and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "ModuleLoader.h"
#include "TestFiles.h"
#include "TestFtpServer.h"

namespace {

using sapi::test::TempDir;
using sapi::test::TestFtpServer;
using Names = std::set<std::string>;

std::u16string U(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string A(const char16_t *text) {
    std::string ascii;
    for (; *text != 0; ++text) ascii.push_back(static_cast<char>(*text));
    return ascii;
}

// Servers that list "." and ".." do so by their own choice; the walk below is
// about the entries the test made.
Names WithoutDots(Names names) {
    names.erase(".");
    names.erase("..");
    return names;
}

class ConnectionsEndToEnd : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        sapi::test::WriteWholeFile(root / "a.txt", "hello");
        sapi::test::WriteWholeFile(root / "b.bin", std::string(3000, 'b'));
        sapi::test::WriteWholeFile(root / "sub" / "inner.txt", "inner");
        std::filesystem::create_directories(root / "sub" / "deeper");
        server = std::make_unique<TestFtpServer>(GetParam(), root.path());
        ASSERT_EQ(api.CreateParameterSet(&set), ApiOk);
        // The host's way: the plug-in describes its keys, the user fills in values.
        ASSERT_EQ(api.DescribeServerParameters(set), ApiOk);
        Set("ServerPrimaryAddress", server->address());
        Set("ServerPrimaryPort", std::to_string(server->port()));
        Set("ServerPrimaryLoginName", server->user());
        Set("ServerPrimaryLoginPassword", server->password());
    }
    void TearDown() override {
        for (int32_t handle : opened) api.CloseServer(handle);
        api.DestroyParameterSet(set);
    }

    void Set(const char *key, const std::string &value) {
        ASSERT_EQ(api.SetParameter(set, key, U(value).c_str()), ApiOk);
    }
    int32_t Open() {
        int32_t handle = -1;
        EXPECT_EQ(api.OpenServer(set, &handle), ApiOk);
        if (handle > 0) opened.push_back(handle);
        return handle;
    }
    Names Walk(ListingTextFunction slot, int32_t handle) {
        Names names;
        for (int32_t index = 0;; ++index) {
            char16_t text[300];
            uint32_t length = 300;
            const ServerApiResult result = slot(handle, index, text, &length);
            if (result == ApiIndexOutOfRange) break;
            EXPECT_EQ(result, ApiOk);
            if (result != ApiOk || index > 100) break;
            names.insert(A(text));
        }
        return names;
    }
    std::string Current(int32_t handle) {
        char16_t text[1100] = {};
        uint32_t length = 1100;
        EXPECT_EQ(api.GetCurrentFolder(handle, text, nullptr, &length), ApiOk);
        return A(text);
    }

    TempDir root{"sapi-e2e-connections"};
    sapi_test::ModuleLoader module;
    const ServerApiFunctions &api = module.table;
    std::unique_ptr<TestFtpServer> server;
    int32_t set = 0;
    std::vector<int32_t> opened;
};

TEST_P(ConnectionsEndToEnd, TheRoadUpToTheListing) {
    // "ServerUsePassive" still holds its label, which reads as 0: active mode.
    const int32_t handle = Open();
    ASSERT_GT(handle, 0);
    EXPECT_EQ(WithoutDots(Walk(api.GetFolderName, handle)), (Names{"sub"}));
    EXPECT_EQ(WithoutDots(Walk(api.GetFolderTitle, handle)), (Names{"sub"}));
    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"a.txt", "b.bin"}));
    EXPECT_EQ(Walk(api.GetAssetTitle, handle), (Names{"a.txt", "b.bin"}));

    char16_t first[4] = {u'x', 0};
    char16_t second[4] = {u'y', 0};
    uint32_t length = 1;
    EXPECT_EQ(api.GetCurrentFolder(handle, first, second, &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(first[0], u'x');
    EXPECT_EQ(second[0], u'y');
    length = 2;
    EXPECT_EQ(api.GetCurrentFolder(handle, first, second, &length), ApiOk);
    EXPECT_EQ(A(first), "/");
    EXPECT_EQ(A(second), "/");
    second[0] = u'y';
    length = 1;
    EXPECT_EQ(api.GetCurrentFolder(handle, nullptr, second, &length), ApiOk);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(second[0], u'y');
}

TEST_P(ConnectionsEndToEnd, FoldersAreEnteredLeftAndCreated) {
    Set("ServerUsePassive", "1");
    const int32_t handle = Open();
    ASSERT_EQ(api.ChangeFolder(handle, u"sub"), ApiOk);
    EXPECT_EQ(Current(handle), "/sub");
    EXPECT_EQ(WithoutDots(Walk(api.GetFolderName, handle)), (Names{"deeper"}));
    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"inner.txt"}));

    ASSERT_EQ(api.ChangeFolder(handle, u".."), ApiOk);
    EXPECT_EQ(Current(handle), "/");
    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"a.txt", "b.bin"}));

    ASSERT_EQ(api.ChangeFolder(handle, u"made"), ApiOk);
    EXPECT_TRUE(std::filesystem::is_directory(root / "made"));
    EXPECT_EQ(Current(handle), "/made");
    EXPECT_EQ(WithoutDots(Walk(api.GetFolderName, handle)), Names{});
    EXPECT_EQ(Walk(api.GetAssetName, handle), Names{});

    ASSERT_EQ(api.ChangeFolder(handle, u"/sub/deeper"), ApiOk);
    EXPECT_EQ(Current(handle), "/sub/deeper");
    EXPECT_EQ(api.ChangeFolder(handle, u"/a.txt"), ApiFolderUnavailable);
    EXPECT_EQ(Current(handle), "/sub/deeper");
    EXPECT_EQ(api.ChangeFolder(handle, u"."), ApiOk);
    EXPECT_EQ(api.ChangeFolder(handle, u"x\r\nDELE /a.txt"), ApiFolderUnavailable);
    EXPECT_TRUE(std::filesystem::exists(root / "a.txt"));
}

TEST_P(ConnectionsEndToEnd, DeletingLeavesTheListingStaleUntilTheNextOne) {
    Set("ServerUsePassive", "1");
    const int32_t handle = Open();
    EXPECT_EQ(api.DeleteAsset(handle, u"a.txt"), ApiOk);
    EXPECT_FALSE(std::filesystem::exists(root / "a.txt"));
    EXPECT_EQ(api.DeleteAsset(handle, u"never-there.txt"), ApiOk);
    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"a.txt", "b.bin"}));
    ASSERT_EQ(api.ChangeFolder(handle, u"/"), ApiOk);
    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"b.bin"}));
}

bool SERVER_API_CALLBACK KeepReading(void *, const void *, uint32_t, int64_t) { return true; }
bool SERVER_API_CALLBACK KeepGoing(void *, uint32_t, int64_t) { return true; }
bool SERVER_API_CALLBACK NothingToWrite(void *, void *, uint32_t *length) {
    *length = 0;
    return true;
}

TEST_P(ConnectionsEndToEnd, AnAbortedConnectionKeepsWhatItKnewAndReachesNoServer) {
    Set("ServerUsePassive", "1");
    const int32_t handle = Open();
    ASSERT_EQ(api.ChangeFolder(handle, u"sub"), ApiOk);
    api.AbortServer(handle);
    api.AbortServer(handle);

    EXPECT_EQ(Walk(api.GetAssetName, handle), (Names{"inner.txt"}));
    EXPECT_EQ(Walk(api.GetFolderTitle, handle).count("deeper"), 1u);
    EXPECT_EQ(Current(handle), "/sub");
    EXPECT_EQ(api.DeleteAsset(handle, u"inner.txt"), ApiOk);
    EXPECT_TRUE(std::filesystem::exists(root / "sub" / "inner.txt"));
    EXPECT_EQ(api.ChangeFolder(handle, u"deeper"), ApiFolderUnavailable);
    EXPECT_EQ(api.ChangeFolder(handle, u"."), ApiOk);

    const std::string local = (root / "local.bin").string();
    const std::u16string localPath = U(local);
    sapi::test::WriteWholeFile(local, "data");
    int32_t assetSet = 0;
    ASSERT_EQ(api.CreateParameterSet(&assetSet), ApiOk);
    ASSERT_EQ(api.SetParameter(assetSet, "Title", u"up.bin"), ApiOk);
    EXPECT_EQ(api.GetAssetInfo(handle, u"inner.txt", assetSet), ApiOk);
    EXPECT_EQ(api.ReadAsset(handle, u"inner.txt", &KeepReading, nullptr), ApiRemoteOpenFailed);
    EXPECT_EQ(api.DownloadAsset(handle, u"inner.txt", U((root / "down.bin").string()).c_str(),
                                &KeepGoing, nullptr),
              ApiRemoteOpenFailed);
    EXPECT_EQ(api.WriteAsset(handle, assetSet, 4, &NothingToWrite, nullptr), ApiFailed);
    EXPECT_EQ(api.UploadAsset(handle, assetSet, localPath.c_str(), &KeepGoing, nullptr), ApiFailed);
    EXPECT_FALSE(std::filesystem::exists(root / "sub" / "up.bin"));
    api.DestroyParameterSet(assetSet);
}

TEST_P(ConnectionsEndToEnd, AClosedHandleIsUnknownAndNumbersAreNotReused) {
    Set("ServerUsePassive", "1");
    const int32_t first = Open();
    EXPECT_EQ(first, 1);
    // Nothing listens on port 1 here: the connection is refused at once.
    Set("ServerPrimaryPort", "1");
    int32_t failed = -99;
    EXPECT_EQ(api.OpenServer(set, &failed), ApiConnectFailed);
    EXPECT_EQ(failed, -99);
    Set("ServerPrimaryPort", std::to_string(server->port()));
    EXPECT_EQ(Open(), 2);

    api.CloseServer(first);
    api.CloseServer(first);
    char16_t text[8];
    uint32_t length = 8;
    EXPECT_EQ(api.GetFolderName(first, 0, text, &length), ApiNoSuchConnection);
    EXPECT_EQ(api.GetAssetTitle(first, 0, text, &length), ApiNoSuchConnection);
    EXPECT_EQ(api.GetCurrentFolder(first, text, text, &length), ApiNoSuchConnection);
    EXPECT_EQ(api.ChangeFolder(first, u"sub"), ApiNoSuchConnection);
    EXPECT_EQ(api.ReadAsset(first, u"a.txt", &KeepReading, nullptr), ApiNoSuchConnection);
    EXPECT_EQ(api.DeleteAsset(first, u"a.txt"), ApiFailed);
    EXPECT_TRUE(std::filesystem::exists(root / "a.txt"));
    EXPECT_EQ(Open(), 3);
}

TEST_P(ConnectionsEndToEnd, ARejectedLoginOpensNothing) {
    if (GetParam() == "vsftpd" || GetParam() == "pureftpd") {
        GTEST_SKIP() << "this server waits seconds before it refuses a login";
    }
    Set("ServerPrimaryLoginPassword", "wrong");
    int32_t handle = -99;
    EXPECT_EQ(api.OpenServer(set, &handle), ApiConnectFailed);
    EXPECT_EQ(handle, -99);
    ASSERT_EQ(api.RemoveParameter(set, "ServerPrimaryPort"), ApiOk);
    EXPECT_EQ(api.OpenServer(set, &handle), ApiMissingServerParameter);
}

// A port beyond 16 bits that the client would cut to the server's own must
// not reach it; neither do negative ones.
TEST_P(ConnectionsEndToEnd, PortsOutsideZeroTo65535NeverReachAServer) {
    const std::string port = std::to_string(server->port());
    for (const std::string &outside : {std::to_string(server->port() + 65536), std::string("-1")}) {
        Set("ServerPrimaryPort", outside);
        int32_t handle = -99;
        EXPECT_EQ(api.OpenServer(set, &handle), ApiMissingServerParameter) << outside;
        EXPECT_EQ(handle, -99) << outside;
    }
    // 0 is FTP's own port, 21, where no test server listens.
    Set("ServerPrimaryPort", "0");
    int32_t handle = -99;
    if (api.OpenServer(set, &handle) == ApiOk) {
        opened.push_back(handle);
    } else {
        ServerApiChar reason[256] = {};
        uint32_t length = 256;
        ASSERT_EQ(api.GetParameter(set, "ServerFailure", reason, &length), ApiOk);
        EXPECT_EQ(A(reason), "no connection to " + server->address() + " port 21: refused or unreachable");
    }
    Set("ServerPrimaryPort", " " + port + "th");  // read as the runtime reads numbers
    EXPECT_GT(Open(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, ConnectionsEndToEnd,
                         ::testing::Values("pyftpdlib", "vsftpd", "proftpd", "pureftpd"),
                         [](const auto &serverKind) { return serverKind.param; });

// A set with the server's address and login, passive, and a connection opened with it.
void OpenPassive(const ServerApiFunctions &api, const TestFtpServer &server, int32_t &set, int32_t &handle) {
    ASSERT_EQ(api.CreateParameterSet(&set), ApiOk);
    const std::pair<const char *, std::string> keys[] = {{"ServerPrimaryAddress", server.address()},
                                                          {"ServerPrimaryPort", std::to_string(server.port())},
                                                          {"ServerPrimaryLoginName", server.user()},
                                                          {"ServerPrimaryLoginPassword", server.password()},
                                                          {"ServerUsePassive", "1"}};
    for (const auto &[key, value] : keys) ASSERT_EQ(api.SetParameter(set, key, U(value).c_str()), ApiOk);
    ASSERT_EQ(api.OpenServer(set, &handle), ApiOk);
}

// A local user without a chroot lands in a folder of the real file system
// (a home such as /home/alice): the current folder is the server's word for
// it from the start, and folders below it are found from there.
TEST(LoginFolderEndToEnd, AServerWithoutAChrootIsAskedWhereTheLoginLands) {
    TempDir root{"sapi-e2e-home"};
    std::filesystem::create_directories(root / "sub");
    sapi::test::TestFtpServerOptions options;
    options.chroot = false;
    TestFtpServer server("vsftpd", root.path(), TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                         options);
    sapi_test::ModuleLoader module;
    const ServerApiFunctions &api = module.table;
    int32_t set = 0;
    int32_t handle = 0;
    ASSERT_NO_FATAL_FAILURE(OpenPassive(api, server, set, handle));
    api.DestroyParameterSet(set);

    const std::string home = std::filesystem::canonical(root.path()).string();
    char16_t text[1100] = {};
    uint32_t length = 1100;
    EXPECT_EQ(api.GetCurrentFolder(handle, text, nullptr, &length), ApiOk);
    EXPECT_EQ(A(text), home);
    EXPECT_EQ(api.ChangeFolder(handle, u"sub"), ApiOk);
    length = 1100;
    EXPECT_EQ(api.GetCurrentFolder(handle, text, nullptr, &length), ApiOk);
    EXPECT_EQ(A(text), home + "/sub");
    api.CloseServer(handle);
}

// A folder where the server lists two entries in lines no parser reads, among
// ordinary ones: every entry is there, of its kind (MLST says which), nothing
// is made up, and the host is told how many lines were not understood.
TEST(OddListingEndToEnd, EntriesOfUnreadLinesAreCompletedByNameAndNoneInvented) {
    TempDir root{"sapi-e2e-odd-lines"};
    sapi::test::WriteWholeFile(root / "a.txt", "hello");
    sapi::test::WriteWholeFile(root / "odd-file.txt", "12345");
    std::filesystem::create_directories(root / "sub");
    std::filesystem::create_directories(root / "odd-folder");
    sapi::test::TestFtpServerOptions options;
    options.oddListingLines = true;
    TestFtpServer server("pyftpdlib", root.path(), TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                         options);
    sapi_test::ModuleLoader module;
    const ServerApiFunctions &api = module.table;
    int32_t set = 0;
    int32_t handle = 0;
    ASSERT_NO_FATAL_FAILURE(OpenPassive(api, server, set, handle));
    const auto walk = [&](ListingTextFunction slot) {
        Names names;
        char16_t text[300];
        for (int32_t index = 0; index < 10; ++index) {
            uint32_t length = 300;
            if (slot(handle, index, text, &length) != ApiOk) break;
            names.insert(A(text));
        }
        return names;
    };
    EXPECT_EQ(walk(api.GetFolderName), (Names{"odd-folder", "sub"}));
    EXPECT_EQ(walk(api.GetAssetName), (Names{"a.txt", "odd-file.txt"}));
    char16_t note[300] = {};
    uint32_t length = 300;
    EXPECT_EQ(api.GetParameter(set, "ServerListingNote", note, &length), ApiOk);
    EXPECT_EQ(A(note), "2 listing lines were not understood; completed by name: 2 entries added");
    api.CloseServer(handle);
    api.DestroyParameterSet(set);
}

}  // namespace
