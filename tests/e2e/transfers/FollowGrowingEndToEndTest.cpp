// Files still being written while they are fetched, on each real server: with
// "ServerFollowGrowing" a retrieval follows the file to its end (the writer
// appends on the server's disk meanwhile), fails when the file shrinks or is
// replaced, and stops when another thread aborts it.
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using sapi::test::ReadWholeFile;
using sapi::test::SameFileContents;

constexpr uint64_t startSize = 1 << 20;
constexpr int quietSeconds = 2;

void Append(const fs::path &path, std::size_t size, uint32_t seed) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << sapi::test::PseudoRandomBytes(size, seed);
}

class FollowGrowingEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override { sapi::test::WritePseudoRandomFile(root / "rec.bin", startSize, 3); }
    sapi::test::TestFtpServerOptions ServerOptions() const override {
        sapi::test::TestFtpServerOptions options;
        options.digests = GetParam() == "proftpd";
        return options;
    }
    int32_t OpenFollowing(const std::u16string &seconds, const std::u16string &verify = u"0") {
        return OpenWith({{"ServerFollowGrowing", seconds}, {"ServerVerifyHash", verify}});
    }
    ServerApiResult Download(int32_t handle, TransferLog *log) {
        return api.DownloadAsset(handle, u"rec.bin", LocalPath("rec.bin").c_str(), log ? &LogProgress : nullptr, log);
    }
    // Bursts of 256 KiB, with pauses shorter than the quiet; its last write's time.
    std::thread Writer(Clock::time_point &lastWrite) {
        return std::thread([this, &lastWrite] {
            for (uint32_t burst = 0; burst < 8; ++burst) {
                std::this_thread::sleep_for(std::chrono::milliseconds(burst == 4 ? 1500 : 300));
                Append(root / "rec.bin", 256 << 10, 10 + burst);
                lastWrite = Clock::now();
            }
        });
    }
    // Once the first round has ended: the stream is in its quiet wait.
    template <typename Change>
    ServerApiResult DownloadWhile(Change change) {
        const int32_t handle = OpenFollowing(u"3");
        std::thread changer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            change();
        });
        const ServerApiResult result = Download(handle, nullptr);
        changer.join();
        return result;
    }
};

TEST_P(FollowGrowingEndToEnd, AFileWrittenWhileItIsFetchedArrivesWholeAndEndsAfterTheQuiet) {
    const int32_t handle = OpenFollowing(u"2");
    Clock::time_point lastWrite;
    std::thread writer = Writer(lastWrite);
    TransferLog progress;
    EXPECT_EQ(Download(handle, &progress), ApiOk);
    const auto ended = Clock::now();
    writer.join();
    EXPECT_TRUE(SameFileContents(root / "rec.bin", local / "rec.bin"));
    EXPECT_EQ(progress.sum, startSize + 8 * (256 << 10));
    for (int64_t total : progress.totalSizes) ASSERT_EQ(total, static_cast<int64_t>(startSize));
    // A bound that catches a follow without end; the time itself is a bench row.
    EXPECT_LT(ended - lastWrite, std::chrono::seconds(quietSeconds + 4));
}

// The same through ReadAsset, checked against the server's digest where it
// offers one (proftpd): a digest that did not cover every round would fail it.
TEST_P(FollowGrowingEndToEnd, AStreamFollowedIsVerifiedWhole) {
    const int32_t handle = OpenFollowing(u"2", GetParam() == "proftpd" ? u"2" : u"1");
    Clock::time_point lastWrite;
    std::thread writer = Writer(lastWrite);
    TransferLog read;
    EXPECT_EQ(api.ReadAsset(handle, u"rec.bin", &LogRead, &read), ApiOk);
    writer.join();
    EXPECT_EQ(read.data, ReadWholeFile(root / "rec.bin"));
}

TEST_P(FollowGrowingEndToEnd, AFileThatShrinksOrIsReplacedFailsAndLeavesNothing) {
    EXPECT_EQ(DownloadWhile([&] { fs::resize_file(root / "rec.bin", 1000); }), ApiTransferFailed);
    EXPECT_FALSE(fs::exists(local / "rec.bin"));

    // Another file of its own, bigger but older, put in its place.
    sapi::test::WritePseudoRandomFile(root / "rec.bin", startSize, 3);
    EXPECT_EQ(DownloadWhile([&] {
                  sapi::test::WritePseudoRandomFile(root / "other.bin", 2 * startSize, 5);
                  fs::last_write_time(root / "other.bin", fs::last_write_time(root / "rec.bin") - std::chrono::hours(1));
                  fs::rename(root / "other.bin", root / "rec.bin");
              }),
              ApiTransferFailed);
    EXPECT_FALSE(fs::exists(local / "rec.bin"));
}

TEST_P(FollowGrowingEndToEnd, AnAbortFromAnotherThreadEndsTheQuietWait) {
    const int32_t handle = OpenFollowing(u"60");
    std::atomic<ServerApiResult> result{ApiOk};
    std::thread download([&] { result = Download(handle, nullptr); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto aborted = Clock::now();
    api.AbortServer(handle);
    download.join();
    EXPECT_LT(Clock::now() - aborted, std::chrono::seconds(3));
    EXPECT_NE(result.load(), ApiOk);
    EXPECT_FALSE(fs::exists(local / "rec.bin"));
}

// "Under Construction" from the size a second apart, only with the key.
TEST_P(FollowGrowingEndToEnd, InfoSaysAFileThatGrowsIsUnderConstruction) {
    const int32_t following = OpenFollowing(u"2");
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (uint32_t seed = 0; writing; ++seed) {
            Append(root / "rec.bin", 4096, seed);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    EXPECT_EQ(api.GetAssetInfo(following, u"rec.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter("Under Construction"), "1");
    api.RemoveParameter(assetSet, "Under Construction");
    EXPECT_EQ(api.GetAssetInfo(connection, u"rec.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter("Under Construction"), "<absent>");
    writing = false;
    writer.join();
    EXPECT_EQ(api.GetAssetInfo(following, u"rec.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter("Under Construction"), "<absent>");
}

SAPI_ON_EVERY_SERVER(FollowGrowingEndToEnd);

}  // namespace
}  // namespace sapi::e2e
