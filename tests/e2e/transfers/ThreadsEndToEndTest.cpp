// A host that calls from several threads: connections used side by side, and a
// connection closed or aborted from another thread at a random moment of a
// download, an upload or a listing. Built with ThreadSanitizer too.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <stdlib.h>
#include <thread>

#include "TransferHost.h"
#include "entry/ServerApiTable.h"
#include "ftp/services/sockets/NameLookup.h"

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

// Polls until `done` or the limit: a wait that fails instead of hanging.
bool WaitUntil(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const Clock::time_point end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Ends the process when a scene has not finished in time: a deadlock between
// two threads fails the run instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock lock(mutex_);
              if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "threads still waiting after %lld s: a deadlock\n",
                               static_cast<long long>(limit.count()));
                  std::_Exit(1);
              }
          }) {}
    ~Watchdog() {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        ended_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

// A worker's progress callback that hands its first update to the interface
// thread and waits for the answer, as a SendMessage does.
struct InterfaceScene {
    std::atomic<bool> inCallback{false};
    std::atomic<bool> answered{false};
    std::atomic<bool> waitedInVain{false};
    int calls = 0;
};

bool SERVER_API_CALLBACK HandToInterface(void *context, uint32_t, int64_t) {
    auto &scene = *static_cast<InterfaceScene *>(context);
    if (scene.calls++ == 0) {
        scene.inCallback = true;
        if (!WaitUntil([&] { return scene.answered.load(); })) scene.waitedInVain = true;
    }
    return true;
}

// Two workers, each inside a callback of a download on its own connection,
// each calling slots of the other's connection.
struct CrossedSide {
    const ServerApiFunctions *api = nullptr;
    int32_t other = 0;
    std::atomic<int> *inside = nullptr;
    std::atomic<int> *asked = nullptr;
    std::atomic<int> *closed = nullptr;
    ServerApiResult otherFolder = ApiOk;
    int calls = 0;
};

bool SERVER_API_CALLBACK CallTheOther(void *context, uint32_t, int64_t) {
    auto &side = *static_cast<CrossedSide *>(context);
    if (side.calls++ > 0) return true;
    ++*side.inside;
    WaitUntil([&] { return *side.inside == 2; });
    char16_t folder[260];
    uint32_t length = 260;
    side.otherFolder = side.api->GetCurrentFolder(side.other, folder, folder, &length);
    ++*side.asked;
    WaitUntil([&] { return *side.asked == 2; });
    side.api->CloseServer(side.other);
    // Back to the transfer only once both closes are done: a side that went on
    // before its own connection was closed could finish its download.
    ++*side.closed;
    WaitUntil([&] { return *side.closed == 2; });
    return true;
}

// A name server that does not answer, until the test lets it.
std::atomic<bool> lookupEntered{false};
std::atomic<bool> lookupReleased{false};
std::atomic<bool> lookupReturned{false};

std::vector<sapi::ftpclient::SocketAddress> StalledLookup(const std::string &, uint16_t) {
    lookupEntered = true;
    WaitUntil([] { return lookupReleased.load(); }, std::chrono::seconds(60));
    lookupReturned = true;
    return {};
}

class ThreadsEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override {
        sapi::test::WritePseudoRandomFile(root / "big.bin", bigSize, 7);
        for (int i = 0; i < manyNames; ++i) sapi::test::WriteWholeFile(root / "many" / NameOf("n", i), "");
    }

    // A case that fails once in many runs shows its conversations and the
    // server's account of them: the module's trace and the server's log.
    sapi::test::TestFtpServerOptions ServerOptions() const override {
        sapi::test::TestFtpServerOptions options;
        options.logCopy = diagnostics_.path() / "server.log";
        return options;
    }
    void SetUp() override {
        ::setenv("PELKSAPIFTP_TRACE", (diagnostics_.path() / "trace.log").c_str(), 1);
        TransferHost::SetUp();
    }
    void TearDown() override {
        TransferHost::TearDown();
        ::unsetenv("PELKSAPIFTP_TRACE");
        if (!HasFailure()) return;
        for (const char *name : {"trace.log", "server.log"}) {
            const fs::path path = diagnostics_.path() / name;
            if (fs::exists(path)) std::printf("== %s\n%s\n", name, sapi::test::ReadWholeFile(path).c_str());
        }
    }

    // The shipped module, with its real waits: on a loaded machine (or under
    // a sanitizer) a call is slow, not broken.
    int32_t OpenShipped() { return OpenWith(shipped, "ServerEndOnConfirmation"); }

    // A connection of `table`'s module, with one flag of its server set on.
    int32_t OpenWith(const ServerApiFunctions &table, const char *flag) {
        int32_t set = 0;
        EXPECT_EQ(table.CreateParameterSet(&set), ApiOk);
        SetServerKeys(table, set);
        table.SetParameter(set, flag, u"1");
        int32_t handle = 0;
        EXPECT_EQ(table.OpenServer(set, &handle), ApiOk);
        table.DestroyParameterSet(set);
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

    sapi::test::TempDir diagnostics_{"sapi-e2e-threads"};
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

// An interface thread stops the download while the worker's callback waits
// for the interface thread: the stop returns, the callback is answered, the
// download fails on the worker's thread. Meanwhile the interface thread's own
// call on the connection is refused, not kept waiting.
TEST_P(ThreadsEndToEnd, InterfaceThreadStopsWhileTheCallbackWaitsForIt) {
    for (const bool close : {true, false}) {
        SCOPED_TRACE(close ? "CloseServer" : "AbortServer");
        const int32_t handle = OpenShipped();
        InterfaceScene scene;
        ServerApiResult result = ApiOk;
        std::thread worker([&] {
            result = shipped.DownloadAsset(handle, u"big.bin", LocalPath("ui.bin").c_str(), &HandToInterface, &scene);
        });
        EXPECT_TRUE(WaitUntil([&] { return scene.inCallback.load(); }));
        char16_t folder[260];
        uint32_t length = 260;
        EXPECT_EQ(shipped.GetCurrentFolder(handle, folder, folder, &length), ApiConnectionBusy);
        if (close) {
            shipped.CloseServer(handle);
        } else {
            shipped.AbortServer(handle);
        }
        scene.answered = true;
        worker.join();
        EXPECT_FALSE(scene.waitedInVain) << "the stop waited for the callback that waited for it";
        EXPECT_EQ(result, ApiTransferFailed);
        EXPECT_FALSE(fs::exists(local / "ui.bin"));
        if (!close) shipped.CloseServer(handle);
    }
}

// Each worker's callback calls a slot of the other's connection, then closes
// it: the calls are refused (busy), nobody waits for anybody, and both
// downloads fail on their own threads.
TEST_P(ThreadsEndToEnd, CrossedCallbacksOnTwoConnections) {
    const Watchdog watchdog(std::chrono::seconds(120));
    const int32_t first = OpenShipped();
    const int32_t second = OpenShipped();
    std::atomic<int> inside{0};
    std::atomic<int> asked{0};
    std::atomic<int> closed{0};
    CrossedSide sides[2];
    for (int i = 0; i < 2; ++i) {
        sides[i].api = &shipped;
        sides[i].other = i == 0 ? second : first;
        sides[i].inside = &inside;
        sides[i].asked = &asked;
        sides[i].closed = &closed;
    }
    ServerApiResult results[2] = {ApiOk, ApiOk};
    std::thread workers[2];
    for (int i = 0; i < 2; ++i) {
        workers[i] = std::thread([&, i] {
            const std::string mine = NameOf("x", i);
            results[i] = shipped.DownloadAsset(i == 0 ? first : second, u"big.bin", LocalPath(mine).c_str(),
                                               &CallTheOther, &sides[i]);
        });
    }
    for (std::thread &worker : workers) worker.join();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(sides[i].otherFolder, ApiConnectionBusy) << i;
        EXPECT_EQ(results[i], ApiTransferFailed) << i;
        EXPECT_FALSE(fs::exists(local / NameOf("x", i))) << i;
    }
}

// A reconnect whose name look-up never answers: a CloseServer from another
// thread ends the call at once; the look-up is left to finish on its own.
// In process, where the look-up can be replaced.
TEST_P(ThreadsEndToEnd, StopEndsAReconnectsNameLookup) {
    const ServerApiFunctions &inProcess = sapi::ServerApiTable();
    const int32_t handle = OpenWith(inProcess, "ServerReconnect");
    ASSERT_GT(handle, 0);
    server->Stop();  // the session goes; the next call reconnects, and looks the name up
    lookupEntered = lookupReleased = lookupReturned = false;
    const auto system = sapi::ftpclient::SetNameResolverForTesting(&StalledLookup);
    ServerApiResult result = ApiOk;
    std::thread worker([&] { result = inProcess.ChangeFolder(handle, u"many"); });
    EXPECT_TRUE(WaitUntil([] { return lookupEntered.load(); }));
    const Clock::time_point stopped = Clock::now();
    inProcess.CloseServer(handle);
    worker.join();
    // A hang, not a speed: the look-up holds out for a minute.
    EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(10));
    EXPECT_NE(result, ApiOk);
    lookupReleased = true;
    EXPECT_TRUE(WaitUntil([] { return lookupReturned.load(); }));
    sapi::ftpclient::SetNameResolverForTesting(system);
}

SAPI_ON_EVERY_SERVER(ThreadsEndToEnd);

}  // namespace
}  // namespace sapi::e2e
