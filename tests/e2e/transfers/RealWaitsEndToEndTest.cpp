// The shipped module keeps its real waits: a download that reaches the end of
// its file gives the server ten more seconds before it ends. Also the large
// transfers, once each way.
#include <chrono>

#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;

class ShippedModule : public TransferHost {
protected:
    void PrepareRoot() override { sapi::test::WriteWholeFile(root / "small.txt", "small"); }
    sapi_test::ModuleLoader shipped{sapi_test::ModulePath("PelkSAPIFTP")};
};

TEST_P(ShippedModule, DownloadEndsAfterTheTenSecondTail) {
    int32_t set = 0;
    ASSERT_EQ(shipped.table.CreateParameterSet(&set), ApiOk);
    shipped.table.SetParameter(set, "ServerPrimaryAddress", Wide(server->address()).c_str());
    shipped.table.SetParameter(set, "ServerPrimaryPort", Wide(std::to_string(server->port())).c_str());
    shipped.table.SetParameter(set, "ServerPrimaryLoginName", Wide(server->user()).c_str());
    shipped.table.SetParameter(set, "ServerPrimaryLoginPassword", Wide(server->password()).c_str());
    shipped.table.SetParameter(set, "ServerUsePassive", u"1");
    int32_t handle = 0;
    ASSERT_EQ(shipped.table.OpenServer(set, &handle), ApiOk);
    TransferLog log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(shipped.table.ReadAsset(handle, u"small.txt", &LogRead, &log), ApiOk);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(log.data, "small");
    // A behaviour check, not a speed one: the ten one-second retries happened.
    EXPECT_GE(took, std::chrono::seconds(9));
    shipped.table.CloseServer(handle);
    shipped.table.DestroyParameterSet(set);
}

INSTANTIATE_TEST_SUITE_P(Server, ShippedModule, ::testing::Values("pyftpdlib"),
                         [](const auto &serverKind) { return serverKind.param; });

using LargeTransfers = TransferHost;

TEST_P(LargeTransfers, TwoHundredMebibytesEachWay) {
    constexpr uint64_t size = 200ull << 20;
    sapi::test::WritePseudoRandomFile(local / "large.bin", size, 200);
    ASSERT_EQ(api.SetParameter(assetSet, "Title", u"large.bin"), ApiOk);
    TransferLog up;
    EXPECT_EQ(api.UploadAsset(connection, assetSet, LocalPath("large.bin").c_str(), &LogProgress, &up), ApiOk);
    EXPECT_EQ(up.sum, size);
    EXPECT_TRUE(sapi::test::SameFileContents(local / "large.bin", root / "large.bin"));
    TransferLog down;
    EXPECT_EQ(api.DownloadAsset(connection, u"large.bin", LocalPath("back.bin").c_str(), &LogProgress, &down), ApiOk);
    EXPECT_EQ(down.sum, size);
    EXPECT_EQ(down.totalSizes.front(), static_cast<int64_t>(size));
    EXPECT_TRUE(sapi::test::SameFileContents(local / "large.bin", local / "back.bin"));
}

SAPI_ON_EVERY_SERVER(LargeTransfers);

}  // namespace
}  // namespace sapi::e2e
