// InitServerAPI's work, ReleaseServerAPI and the table, in process.
#include <gtest/gtest.h>

#include "base/HostContext.h"
#include "entry/EntrySlots.h"
#include "entry/ModuleEntry.h"
#include "entry/ServerApiTable.h"
#include "ftp/ConnectionSlots.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterSlots.h"

namespace {

const ServerApiFunctions *const unset = reinterpret_cast<const ServerApiFunctions *>(0x1234);

TEST(InitServerAPI, OnlyVersionThreeIsAcceptedAndTheVersionIsTestedFirst) {
    for (int32_t version : {0, 2, 4, -3}) {
        const ServerApiFunctions *table = unset;
        EXPECT_EQ(sapi::InitializeModule(version, &table), ApiVersionMismatch) << version;
        EXPECT_EQ(table, unset);
        EXPECT_EQ(sapi::InitializeModule(version, nullptr), ApiVersionMismatch) << version;
    }
    EXPECT_EQ(sapi::HostContextBuffer(), nullptr) << "a refused call made a buffer";
}

TEST(InitServerAPI, NullTablePointerIsRefused) {
    EXPECT_EQ(sapi::InitializeModule(3, nullptr), ApiInvalidArgument);
    EXPECT_EQ(sapi::HostContextBuffer(), nullptr);
}

TEST(InitServerAPI, EveryCallHandsOutTheSameTableAndAFreshBuffer) {
    const ServerApiFunctions *first = nullptr;
    const ServerApiFunctions *second = nullptr;
    ASSERT_EQ(sapi::InitializeModule(3, &first), ApiOk);
    void *firstBuffer = sapi::HostContextBuffer();
    ASSERT_NE(firstBuffer, nullptr);
    EXPECT_EQ(*static_cast<unsigned char *>(firstBuffer), 0);
    ASSERT_EQ(sapi::InitializeModule(3, &second), ApiOk);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, &sapi::ServerApiTable());
    // The new block is made while the old one still exists, so they differ.
    EXPECT_NE(sapi::HostContextBuffer(), firstBuffer);
    ReleaseServerAPI();
}

TEST(ReleaseServerAPI, FreesTheBufferOnceAndLeavesParameterSetsAlone) {
    ReleaseServerAPI();  // before any InitServerAPI: nothing to do
    const ServerApiFunctions *table = nullptr;
    ASSERT_EQ(sapi::InitializeModule(3, &table), ApiOk);
    int32_t set = 0;
    ASSERT_EQ(table->CreateParameterSet(&set), ApiOk);
    ASSERT_EQ(table->SetParameter(set, "Title", SAPI_WIDE("kept")), ApiOk);

    table->ReleaseServerAPI();
    EXPECT_EQ(sapi::HostContextBuffer(), nullptr);
    table->ReleaseServerAPI();

    sapi::WideString value;
    EXPECT_EQ(sapi::ReadParameterText(set, "Title", value), ApiOk);
    EXPECT_EQ(value, SAPI_WIDE("kept"));
    int32_t next = 0;
    EXPECT_EQ(table->CreateParameterSet(&next), ApiOk);
    EXPECT_EQ(next, set + 1) << "the counter was reset";

    ASSERT_EQ(sapi::InitializeModule(3, &table), ApiOk) << "cannot initialise again after a release";
    EXPECT_NE(sapi::HostContextBuffer(), nullptr);
    ReleaseServerAPI();
}

// A swapped pair of slots would compile and link; only the order tells.
TEST(ServerApiFunctions, SlotsHoldTheirOperationsInOrder) {
    const ServerApiFunctions &table = sapi::ServerApiTable();
    EXPECT_EQ(table.ReleaseServerAPI, &ReleaseServerAPI);
    EXPECT_EQ(table.GetServerTypeName, &GetServerTypeName);
    EXPECT_EQ(table.GetServerTypeId, &GetServerTypeId);
    EXPECT_EQ(table.GetServerGroupName, &GetServerGroupName);
    EXPECT_EQ(table.DescribeServerParameters, &DescribeServerParameters);
    EXPECT_EQ(table.DescribeAssetParameters, &DescribeAssetParameters);
    EXPECT_EQ(table.CreateParameterSet, &CreateParameterSet);
    EXPECT_EQ(table.DestroyParameterSet, &DestroyParameterSet);
    EXPECT_EQ(table.SetParameter, &SetParameter);
    EXPECT_EQ(table.RemoveParameter, &RemoveParameter);
    EXPECT_EQ(table.GetParameter, &GetParameter);
    EXPECT_EQ(table.EnumerateParameters, &EnumerateParameters);
    EXPECT_EQ(table.OpenServer, &OpenServer);
    EXPECT_EQ(table.CloseServer, &CloseServer);
    EXPECT_EQ(table.GetFolderName, &GetFolderName);
    EXPECT_EQ(table.GetFolderTitle, &GetFolderTitle);
    EXPECT_EQ(table.GetAssetName, &GetAssetName);
    EXPECT_EQ(table.GetAssetTitle, &GetAssetTitle);
    EXPECT_EQ(table.ChangeFolder, &ChangeFolder);
    EXPECT_EQ(table.GetCurrentFolder, &GetCurrentFolder);
    EXPECT_EQ(table.GetAssetInfo, &GetAssetInfo);
    EXPECT_EQ(table.ReadAsset, &ReadAsset);
    EXPECT_EQ(table.DownloadAsset, &DownloadAsset);
    EXPECT_EQ(table.WriteAsset, &WriteAsset);
    EXPECT_EQ(table.UploadAsset, &UploadAsset);
    EXPECT_EQ(table.AbortServer, &AbortServer);
    EXPECT_EQ(table.DeleteAsset, &DeleteAsset);
}

}  // namespace
