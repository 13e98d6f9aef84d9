// The connection slots as the host calls them, on the scripted client: opening
// from a parameter set, handle numbers, the cached listing, aborting, closing,
// and a host that closes or aborts from inside an operation under way.
#include <gtest/gtest.h>

#include <map>
#include <new>

#include "FakeFtpClientServices.h"
#include "ftp/ActiveFtpClientServices.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"
#include "ftp/services/WinInetConstants.h"
#include "parameters/ParameterSlots.h"

namespace sapi::testing {
namespace {

using namespace sapi::wininet;

WideString W(std::string_view text) { return WideFromUtf8(text); }

class ConnectionSlotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = UseFtpClientServices(&fake);
        ASSERT_EQ(CreateParameterSet(&set), ApiOk);
        Set("ServerPrimaryAddress", "ftp.example");
        Set("ServerPrimaryPort", "21");
        Set("ServerPrimaryLoginName", "user");
        Set("ServerPrimaryLoginPassword", "secret");
        fake.defaultListing.entries = {FakeFolder("sub"), FakeFile("a.txt"), FakeFile("b.txt")};
    }
    void TearDown() override {
        for (int32_t handle : opened_) CloseServer(handle);
        DestroyParameterSet(set);
        UseFtpClientServices(previous_);
    }
    void Set(const char *key, const char *value) {
        ASSERT_EQ(SetParameter(set, key, W(value).c_str()), ApiOk);
    }
    ServerApiResult Open(int32_t &handle) {
        const ServerApiResult result = OpenServer(set, &handle);
        if (result == ApiOk) opened_.push_back(handle);
        return result;
    }
    int32_t Open() {
        int32_t handle = 0;
        EXPECT_EQ(Open(handle), ApiOk);
        return handle;
    }
    static std::string Text(ServerApiResult (*slot)(int32_t, int32_t, ServerApiChar *, uint32_t *),
                            int32_t handle, int32_t index, ServerApiResult expected = ApiOk) {
        ServerApiChar buffer[300] = {};
        uint32_t length = 300;
        EXPECT_EQ(slot(handle, index, buffer, &length), expected);
        return Utf8FromWide(buffer);
    }

    FakeFtpClientServices fake;
    int32_t set = 0;

private:
    FtpClientServices *previous_ = nullptr;
    std::vector<int32_t> opened_;
};

TEST_F(ConnectionSlotsTest, HandlesCountUpAndAreNeverGivenTwice) {
    const int32_t first = Open();
    fake.Script("InternetConnect", FakeOutcome::Failure(ERROR_INTERNET_LOGIN_FAILURE));
    int32_t failed = -99;
    EXPECT_EQ(Open(failed), ApiConnectFailed);
    EXPECT_EQ(failed, -99);
    const int32_t second = Open();
    EXPECT_EQ(second, first + 1);
    CloseServer(first);
    EXPECT_EQ(Open(), first + 2);
}

TEST_F(ConnectionSlotsTest, RequiredKeysStopTheOpenBeforeAnyConnection) {
    ASSERT_EQ(RemoveParameter(set, "ServerPrimaryPort"), ApiOk);
    ASSERT_EQ(RemoveParameter(set, "ServerPrimaryLoginName"), ApiOk);
    int32_t handle = -99;
    EXPECT_EQ(Open(handle), ApiMissingServerParameter);
    Set("ServerPrimaryPort", "21");
    EXPECT_EQ(Open(handle), ApiMissingServerParameter);
    EXPECT_EQ(OpenServer(set + 1000, &handle), ApiInvalidArgument);
    EXPECT_EQ(OpenServer(set, nullptr), ApiInvalidArgument);
    EXPECT_EQ(handle, -99);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConnectionSlotsTest, PortAndFlagsReadAsTheRuntimeReadsNumbers) {
    const std::map<std::string, bool> flags = {{"0", false}, {"no", false}, {"", false},
                                               {"1", true},  {"2", true},   {"-1", true},
                                               {" 7", true}};
    for (const auto &[text, on] : flags) {
        Set("ServerUsePassive", text.c_str());
        Set("ServerVerifyByRead", text.c_str());
        const int32_t handle = Open();
        EXPECT_EQ(fake.calls[1].flags, on ? INTERNET_FLAG_PASSIVE : 0u) << text;
        EXPECT_EQ(Connections().Find(handle)->VerifyByRead(), on) << text;
        fake.calls.clear();
    }
    ASSERT_EQ(RemoveParameter(set, "ServerUsePassive"), ApiOk);
    ASSERT_EQ(RemoveParameter(set, "ServerVerifyByRead"), ApiOk);
    EXPECT_FALSE(Connections().Find(Open())->VerifyByRead());
    EXPECT_EQ(fake.calls[1].flags, 0u);
}

// The client takes a 16-bit port: anything outside 1 to 65535 would reach some
// other port (70000 is 4464, -1 is 65535), so it counts as missing.
// 0, and a text without digits, is the default port, as WinInet takes it.
TEST_F(ConnectionSlotsTest, PortsOutsideZeroTo65535AreRefusedBeforeAnyConnection) {
    constexpr int refused = -1;
    const std::map<std::string, int> ports = {{"21", 21},         {" 21", 21},         {"21abc", 21},    {"1", 1},
                                              {"65535", 65535},   {"0", 0},            {"letters", 0},   {"", 0},
                                              {"-1", refused},    {"65536", refused},  {"70000", refused}};
    for (const auto &[text, port] : ports) {
        Set("ServerPrimaryPort", text.c_str());
        fake.calls.clear();
        int32_t handle = -99;
        EXPECT_EQ(Open(handle), port != refused ? ApiOk : ApiMissingServerParameter) << text;
        if (port == refused) {
            EXPECT_TRUE(fake.calls.empty()) << text;
            EXPECT_EQ(handle, -99) << text;
        } else {
            EXPECT_EQ(fake.calls.at(1).port, port) << text;
        }
    }
}

TEST_F(ConnectionSlotsTest, AFailedOpenLeavesNothingBehind) {
    fake.Script("FtpFindFirstFile", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    int32_t handle = -99;
    EXPECT_EQ(Open(handle), ApiFailed);
    fake.OnCall("InternetFindNextFile", 1, [] { throw std::bad_alloc(); });
    EXPECT_EQ(Open(handle), ApiOutOfMemory);
    EXPECT_EQ(handle, -99);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_TRUE(fake.problems.empty());
}

TEST_F(ConnectionSlotsTest, TheListingIsWalkedByIndexWithNamesAsTitles) {
    const int32_t handle = Open();
    fake.calls.clear();
    EXPECT_EQ(Text(GetFolderName, handle, 0), "sub");
    EXPECT_EQ(Text(GetFolderTitle, handle, 0), "sub");
    Text(GetFolderName, handle, 1, ApiIndexOutOfRange);
    EXPECT_EQ(Text(GetAssetName, handle, 1), "b.txt");
    EXPECT_EQ(Text(GetAssetTitle, handle, 1), "b.txt");
    ServerApiChar buffer[4] = {u'k', 0};
    uint32_t length = 4;
    EXPECT_EQ(GetAssetName(handle, 2, buffer, &length), ApiIndexOutOfRange);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(GetAssetName(handle, -1, buffer, &length), ApiIndexOutOfRange);
    length = 5;
    EXPECT_EQ(GetAssetName(handle, 0, buffer, &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(buffer[0], u'k');
    EXPECT_EQ(GetFolderName(handle, 0, buffer, nullptr), ApiInvalidArgument);
    EXPECT_EQ(GetFolderName(handle + 1000, 0, buffer, nullptr), ApiInvalidArgument);
    EXPECT_EQ(GetAssetTitle(handle + 1000, 0, buffer, &length), ApiNoSuchConnection);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConnectionSlotsTest, TheCurrentFolderGoesToBothBuffersWithOneCapacity) {
    const int32_t handle = Open();
    ServerApiChar first[4] = {u'x', 0};
    ServerApiChar second[4] = {u'y', 0};
    uint32_t length = 1;
    EXPECT_EQ(GetCurrentFolder(handle, first, second, &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(first[0], u'x');
    EXPECT_EQ(second[0], u'y');
    length = 2;
    EXPECT_EQ(GetCurrentFolder(handle, first, second, &length), ApiOk);
    EXPECT_EQ(WideString(first), W("/"));
    EXPECT_EQ(WideString(second), W("/"));
    second[0] = u'y';
    length = 1;
    EXPECT_EQ(GetCurrentFolder(handle, nullptr, second, &length), ApiOk);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(second[0], u'y');
    EXPECT_EQ(GetCurrentFolder(handle, first, nullptr, &length), ApiOk);
    EXPECT_EQ(GetCurrentFolder(handle, first, second, nullptr), ApiInvalidArgument);
    EXPECT_EQ(GetCurrentFolder(handle + 1000, first, second, nullptr), ApiNoSuchConnection);
}

TEST_F(ConnectionSlotsTest, NullNamesAreRefusedBeforeTheLookup) {
    const int32_t handle = Open();
    fake.calls.clear();
    EXPECT_EQ(ChangeFolder(handle, nullptr), ApiInvalidArgument);
    EXPECT_EQ(DeleteAsset(handle, nullptr), ApiInvalidArgument);
    EXPECT_EQ(ChangeFolder(handle + 1000, nullptr), ApiInvalidArgument);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(ConnectionSlotsTest, DeleteSendsTheNameAsGivenAndKeepsTheListing) {
    const int32_t handle = Open();
    fake.Script("FtpDeleteFile", FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    EXPECT_EQ(DeleteAsset(handle, W("a.txt").c_str()), ApiOk);
    EXPECT_EQ(fake.calls.back().texts[0], "a.txt");
    EXPECT_EQ(DeleteAsset(handle, W("x\ny").c_str()), ApiOk);
    EXPECT_FALSE(fake.calls.back().succeeded);
    EXPECT_EQ(Text(GetAssetName, handle, 0), "a.txt");
    EXPECT_EQ(DeleteAsset(handle + 1000, W("a.txt").c_str()), ApiFailed);
}

TEST_F(ConnectionSlotsTest, AnAbortedConnectionAnswersFromWhatItKnew) {
    const int32_t handle = Open();
    AbortServer(handle);
    AbortServer(handle);
    AbortServer(handle + 1000);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_EQ(Text(GetAssetName, handle, 1), "b.txt");
    uint32_t length = 8;
    ServerApiChar folder[8] = {};
    EXPECT_EQ(GetCurrentFolder(handle, folder, nullptr, &length), ApiOk);
    EXPECT_EQ(WideString(folder), W("/"));
    EXPECT_EQ(ChangeFolder(handle, W("sub").c_str()), ApiFolderUnavailable);
    EXPECT_EQ(ChangeFolder(handle, W(".").c_str()), ApiOk);
    EXPECT_EQ(DeleteAsset(handle, W("a.txt").c_str()), ApiOk);
    for (const FakeCall *call : fake.CallsNamed("FtpDeleteFile")) EXPECT_FALSE(call->succeeded);
    EXPECT_TRUE(fake.problems.empty());
}

TEST_F(ConnectionSlotsTest, AClosedHandleIsUnknownToEverySlot) {
    const int32_t handle = Open();
    CloseServer(handle);
    CloseServer(handle);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_TRUE(fake.problems.empty());
    ServerApiChar buffer[8] = {};
    uint32_t length = 8;
    EXPECT_EQ(GetFolderName(handle, 0, buffer, &length), ApiNoSuchConnection);
    EXPECT_EQ(GetAssetTitle(handle, 0, buffer, &length), ApiNoSuchConnection);
    EXPECT_EQ(GetCurrentFolder(handle, buffer, buffer, &length), ApiNoSuchConnection);
    EXPECT_EQ(ChangeFolder(handle, W("sub").c_str()), ApiNoSuchConnection);
    EXPECT_EQ(DeleteAsset(handle, W("a.txt").c_str()), ApiFailed);
}

TEST_F(ConnectionSlotsTest, ClosingFromInsideAnOperationDefersTheDestruction) {
    const int32_t handle = Open();
    fake.listings.push_back({{FakeFile("one"), FakeFile("two"), FakeFile("three")}});
    bool unregisteredAtOnce = false;
    fake.OnCall("InternetFindNextFile", fake.CountOf("InternetFindNextFile") + 1, [&] {
        CloseServer(handle);
        ServerApiChar buffer[8] = {};
        uint32_t length = 8;
        unregisteredAtOnce = GetCurrentFolder(handle, buffer, nullptr, &length) == ApiNoSuchConnection;
    });
    EXPECT_EQ(ChangeFolder(handle, W("sub").c_str()), ApiOk);
    EXPECT_TRUE(unregisteredAtOnce);
    EXPECT_EQ(Connections().Find(handle), nullptr);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    // The find handle went with its parent; nothing was closed twice by us.
    EXPECT_EQ(fake.problems, std::vector<std::string>{"a parent was closed while a child was open"});
}

TEST_F(ConnectionSlotsTest, AbortingFromInsideAnOperationOnlyClosesTheHandles) {
    const int32_t handle = Open();
    fake.listings.push_back({{FakeFile("one"), FakeFile("two")}});
    fake.OnCall("InternetFindNextFile", fake.CountOf("InternetFindNextFile") + 1,
                [&] { AbortServer(handle); });
    EXPECT_EQ(ChangeFolder(handle, W("sub").c_str()), ApiOk);
    EXPECT_EQ(Text(GetAssetName, handle, 0), "one");
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_EQ(ChangeFolder(handle, W("sub").c_str()), ApiFolderUnavailable);
}

}  // namespace
}  // namespace sapi::testing
