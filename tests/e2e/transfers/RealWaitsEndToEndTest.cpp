// The shipped module keeps its real waits: a download that reaches the end of
// its file gives the server ten more seconds before it ends, unless the host
// lets the server's confirmation end it; a file the server refuses is asked
// for thirty times, unless the host lets a permanent refusal end that. Also
// the large transfers, once each way.
#include <chrono>
#include <initializer_list>

#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint64_t wholeSize = 3 * 32768;

class ShippedModule : public TransferHost {
protected:
    void PrepareRoot() override {
        sapi::test::WriteWholeFile(root / "small.txt", "small");
        sapi::test::WritePseudoRandomFile(root / "whole.bin", wholeSize, 7);
    }
    void TearDown() override {
        for (int32_t handle : shippedOpen_) shipped.table.CloseServer(handle);
        TransferHost::TearDown();
    }
    // A connection of the shipped module with the flags named set to "1".
    int32_t OpenShipped(std::initializer_list<const char *> flagsOn) {
        const ServerApiFunctions &table = shipped.table;
        int32_t set = 0;
        EXPECT_EQ(table.CreateParameterSet(&set), ApiOk);
        SetServerKeys(table, set);
        for (const char *flag : flagsOn) table.SetParameter(set, flag, u"1");
        int32_t handle = 0;
        EXPECT_EQ(table.OpenServer(set, &handle), ApiOk);
        table.DestroyParameterSet(set);
        shippedOpen_.push_back(handle);
        return handle;
    }
    // Downloads whole.bin both ways and checks that it arrived whole; the
    // longer of the two times.
    Clock::duration FetchWhole(int32_t handle) {
        TransferLog log;
        auto start = Clock::now();
        EXPECT_EQ(shipped.table.ReadAsset(handle, u"whole.bin", &LogRead, &log), ApiOk);
        const Clock::duration read = Clock::now() - start;
        EXPECT_EQ(log.data.size(), wholeSize);
        start = Clock::now();
        EXPECT_EQ(shipped.table.DownloadAsset(handle, u"whole.bin", LocalPath("whole.bin").c_str(), nullptr, nullptr),
                  ApiOk);
        const Clock::duration download = Clock::now() - start;
        EXPECT_TRUE(sapi::test::SameFileContents(root / "whole.bin", local / "whole.bin"));
        return std::max(read, download);
    }
    sapi_test::ModuleLoader shipped{sapi_test::ModulePath("PelkSAPIFTP")};

private:
    std::vector<int32_t> shippedOpen_;
};

// Behaviour checks, not speed ones: whether the ten (or thirty) one-second
// retries happened, with seconds of margin either way.
TEST_P(ShippedModule, DownloadEndsAfterTheTenSecondTail) {
    const int32_t handle = OpenShipped({});
    TransferLog log;
    const auto start = Clock::now();
    EXPECT_EQ(shipped.table.ReadAsset(handle, u"small.txt", &LogRead, &log), ApiOk);
    EXPECT_EQ(log.data, "small");
    EXPECT_GE(Clock::now() - start, std::chrono::seconds(9));
}

using ShippedModuleWithFlags = ShippedModule;

TEST_P(ShippedModuleWithFlags, ConfirmedEndEndsTheDownloadWithTheFileWhole) {
    EXPECT_LT(FetchWhole(OpenShipped({"ServerEndOnConfirmation"})), std::chrono::seconds(5));
}

TEST_P(ShippedModuleWithFlags, PermanentRefusalEndsTheAttempts) {
    const int32_t handle = OpenShipped({"ServerStopOnRefusal"});
    const ServerApiFunctions &table = shipped.table;
    int32_t set = 0;
    ASSERT_EQ(table.CreateParameterSet(&set), ApiOk);
    const auto start = Clock::now();
    EXPECT_EQ(table.GetAssetInfo(handle, u"missing.bin", set), ApiOk);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    char16_t size[32] = {};
    uint32_t length = 32;
    EXPECT_EQ(table.GetParameter(set, "AssetSize", size, &length), ApiOk);
    EXPECT_EQ(std::u16string(size), u"");
    EXPECT_EQ(table.GetAssetInfo(handle, u"whole.bin", set), ApiOk);  // still in step
    length = 32;
    EXPECT_EQ(table.GetParameter(set, "AssetSize", size, &length), ApiOk);
    EXPECT_EQ(std::u16string(size), Wide(std::to_string(wholeSize)));
    table.DestroyParameterSet(set);
}

INSTANTIATE_TEST_SUITE_P(Server, ShippedModule, ::testing::Values("pyftpdlib"),
                         [](const auto &serverKind) { return serverKind.param; });
SAPI_ON_EVERY_SERVER(ShippedModuleWithFlags);

// Three bursts of 32 KiB, the last about two seconds after the others: data
// that pauses is not taken for the end, flag or not.
class BurstingServer : public ShippedModule {
protected:
    sapi::test::TestFtpServerOptions ServerOptions() const override {
        sapi::test::TestFtpServerOptions options;
        options.burstBytes = 32768;
        return options;
    }
};

TEST_P(BurstingServer, SlowDataStillArrivesWhole) { FetchWhole(OpenShipped({"ServerEndOnConfirmation"})); }

INSTANTIATE_TEST_SUITE_P(Server, BurstingServer, ::testing::Values("pyftpdlib"),
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
