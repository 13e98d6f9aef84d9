// A host that calls from several threads: connections used side by side, and a
// connection closed or aborted from another thread at a random moment of a
// download, an upload or a listing. Built with ThreadSanitizer too.
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;
using sapi::test::SameFileContents;
using Clock = std::chrono::steady_clock;

constexpr int manyNames = 300;
constexpr uint64_t bigSize = 6 << 20;

enum class Work { Download, Upload, Listing };

// "r12.bin": built by appending (GCC 12 at -O3 misreads "literal" + temporary).
std::string NameOf(const char *prefix, int number) {
    std::string name(prefix);
    name.append(std::to_string(number)).append(".bin");
    return name;
}

class ThreadsEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override {
        sapi::test::WritePseudoRandomFile(root / "big.bin", bigSize, 7);
        for (int i = 0; i < manyNames; ++i) sapi::test::WriteWholeFile(root / "many" / NameOf("n", i), "");
    }

    // The shipped module, with its real waits: on a loaded machine (or under
    // a sanitizer) a call is slow, not broken.
    int32_t OpenShipped() {
        int32_t set = 0;
        EXPECT_EQ(shipped.CreateParameterSet(&set), ApiOk);
        SetServerKeys(shipped, set);
        shipped.SetParameter(set, "ServerEndOnConfirmation", u"1");
        int32_t handle = 0;
        EXPECT_EQ(shipped.OpenServer(set, &handle), ApiOk);
        shipped.DestroyParameterSet(set);
        return handle;
    }

    int AssetCount(int32_t handle) {
        char16_t name[260];
        int count = 0;
        for (uint32_t length = 260; shipped.GetAssetName(handle, count, name, &length) == ApiOk; length = 260) ++count;
        return count;
    }

    ServerApiResult Run(Work work, int32_t handle, int round) {
        const std::string mine = NameOf("r", round);
        switch (work) {
        case Work::Download:
            return shipped.DownloadAsset(handle, u"big.bin", LocalPath(mine).c_str(), nullptr, nullptr);
        case Work::Upload: {
            int32_t set = 0;
            shipped.CreateParameterSet(&set);
            shipped.SetParameter(set, "Title", Wide(mine).c_str());
            const ServerApiResult result = shipped.UploadAsset(handle, set, LocalPath("source.bin").c_str(), nullptr, nullptr);
            shipped.DestroyParameterSet(set);
            return result;
        }
        case Work::Listing: return shipped.ChangeFolder(handle, u"many");
        }
        return ApiFailed;
    }

    // What a stopped call leaves: a whole file or none.
    void Check(Work work, ServerApiResult result, int32_t handle, bool registered, int round) {
        const std::string mine = NameOf("r", round);
        if (work == Work::Download) {
            if (result == ApiOk) {
                EXPECT_TRUE(SameFileContents(root / "big.bin", local / mine));
            } else {
                EXPECT_FALSE(fs::exists(local / mine)) << result;
            }
        }
        if (work == Work::Upload && result == ApiOk) {
            EXPECT_TRUE(SameFileContents(local / "source.bin", root / mine));
        }
        // A listing's walk that an abort cuts ends quietly with what it read,
        // as one cut by a lost connection does.
        if (work == Work::Listing && result == ApiOk && registered) {
            EXPECT_LE(AssetCount(handle), manyNames);
        }
    }

    sapi_test::ModuleLoader module_{sapi_test::ModulePath("PelkSAPIFTP")};
    const ServerApiFunctions &shipped = module_.table;
};

// Four threads, each with its own parameter sets and connection, opening,
// listing, changing folder, downloading and closing, over and over.
TEST_P(ThreadsEndToEnd, ConnectionsSideBySide) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int round = 0; round < 5; ++round) {
                const int32_t handle = OpenShipped();
                EXPECT_GT(AssetCount(handle), 0);
                const std::string mine = NameOf(t == 0 ? "a" : t == 1 ? "b" : t == 2 ? "c" : "d", round);
                EXPECT_EQ(shipped.DownloadAsset(handle, u"big.bin", LocalPath(mine).c_str(), nullptr, nullptr), ApiOk);
                EXPECT_TRUE(SameFileContents(root / "big.bin", local / mine));
                fs::remove(local / mine);
                EXPECT_EQ(shipped.ChangeFolder(handle, u"many"), ApiOk);
                EXPECT_EQ(AssetCount(handle), manyNames);
                shipped.CloseServer(handle);
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
}

// AbortServer or CloseServer from a second thread while a download, an upload
// or a listing runs: the call ends soon, with a whole result or a failure
// that left nothing half-made behind; nothing touches freed memory.
TEST_P(ThreadsEndToEnd, StoppedFromAnotherThread) {
    sapi::test::WritePseudoRandomFile(local / "source.bin", bigSize, 9);
    std::mt19937 random(12345);
    std::map<ServerApiResult, int> results;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const auto work = static_cast<Work>(round % 3);
        const bool close = round / 3 % 2 == 1;
        const int32_t handle = OpenShipped();
        std::atomic<bool> started{false};
        ServerApiResult result = ApiOk;
        std::thread worker([&] {
            started = true;
            result = Run(work, handle, round);
        });
        while (!started) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        const Clock::time_point stopped = Clock::now();
        if (close) {
            shipped.CloseServer(handle);
        } else {
            shipped.AbortServer(handle);
        }
        worker.join();
        // A hang, not a speed: the call must not sit out a network timeout.
        EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(20));
        ++results[result];
        Check(work, result, handle, !close, round);
        if (!close) shipped.CloseServer(handle);
    }
    for (const auto &[result, count] : results) std::printf("result %d: %d times\n", result, count);
}

SAPI_ON_EVERY_SERVER(ThreadsEndToEnd);

}  // namespace
}  // namespace sapi::e2e
