// Transfers through the loaded module, with the host's callbacks declared as
// a 32-bit host declares them: __stdcall, and the 64-bit sizes taken as two
// words, low word first. A callback that the module called with the wrong
// convention would leave the stack 16 or 20 bytes off after every call; the
// frame address seen in each call shows that.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Check.h"
#include "ModuleHarness.h"
#include "TestEnvironment.h"

using namespace wintest;

namespace {

struct Seen {
    std::string data;
    std::vector<uint32_t> counts;
    std::vector<uint64_t> totals;  // rebuilt from the two words
    std::vector<void *> frames;
    int stopAfter = -1;  // calls answered true before the first false

    bool Answer() { return stopAfter < 0 || static_cast<int>(counts.size()) <= stopAfter; }
    bool SameFrameEveryCall() const {
        for (void *frame : frames) {
            if (frame != frames.front()) return false;
        }
        return true;
    }
};

uint64_t Join(uint32_t low, uint32_t high) { return (static_cast<uint64_t>(high) << 32) | low; }

bool __stdcall ReadBlock(void *context, const void *data, uint32_t count, uint32_t totalLow,
                         uint32_t totalHigh) {
    auto &seen = *static_cast<Seen *>(context);
    seen.frames.push_back(__builtin_frame_address(0));
    seen.data.append(static_cast<const char *>(data), count);
    seen.counts.push_back(count);
    seen.totals.push_back(Join(totalLow, totalHigh));
    return seen.Answer();
}

bool __stdcall Progress(void *context, uint32_t count, uint32_t totalLow, uint32_t totalHigh) {
    auto &seen = *static_cast<Seen *>(context);
    seen.frames.push_back(__builtin_frame_address(0));
    seen.counts.push_back(count);
    seen.totals.push_back(Join(totalLow, totalHigh));
    return seen.Answer();
}

struct Feed {
    std::string data;
    std::size_t at = 0;
    uint32_t block = 100000;
    int calls = 0;
};

bool __stdcall FillBlock(void *context, void *buffer, uint32_t *length) {
    auto &feed = *static_cast<Feed *>(context);
    ++feed.calls;
    const std::size_t count = std::min<std::size_t>({std::size_t{feed.block}, std::size_t{*length}, feed.data.size() - feed.at});
    std::copy_n(feed.data.data() + feed.at, count, static_cast<char *>(buffer));
    feed.at += count;
    *length = static_cast<uint32_t>(count);
    return true;
}

const auto readBlock = FunctionCast<ReadAssetCallback>(&ReadBlock);
const auto progress = FunctionCast<TransferProgressCallback>(&Progress);

// WriteAsset as a host calls it with the 64-bit stream size in two words.
using WriteAssetTwoWords = ServerApiResult(SERVER_API_CALL *)(int32_t, int32_t, uint32_t, uint32_t,
                                                              WriteAssetCallback, void *);

uint64_t SumOf(const std::vector<uint32_t> &counts) {
    uint64_t sum = 0;
    for (uint32_t count : counts) sum += count;
    return sum;
}

bool AllEqual(const std::vector<uint64_t> &values, uint64_t expected) {
    for (uint64_t value : values) {
        if (value != expected) return false;
    }
    return !values.empty();
}

}  // namespace

// Callbacks written in assembly that leave junk in EAX's upper bytes: only AL
// may count. They take 20 bytes of arguments (ReadAssetCallback).
extern "C" {
int dirtyCalls = 0;
bool __stdcall DirtyFalse(void *, const void *, uint32_t, int64_t);
bool __stdcall DirtyTrue(void *, const void *, uint32_t, int64_t);
}
__asm__(".globl _DirtyFalse@20\n_DirtyFalse@20:\n  incl _dirtyCalls\n  movl $0xFFFFFF00, %eax\n  ret $20\n"
        ".globl _DirtyTrue@20\n_DirtyTrue@20:\n  incl _dirtyCalls\n  movl $0x12345601, %eax\n  ret $20\n");

TEST_CASE(ReadAssetHandsBlocksWithTheSizeInTwoWords) {
    Connection c;
    Seen seen;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"big.bin", readBlock, &seen), ApiOk);
    CHECK(seen.data == PatternBytes(600000));
    CHECK(seen.counts.size() >= 3);  // at most 262,144 bytes a block
    for (uint32_t count : seen.counts) CHECK(count > 0 && count <= 262144);
    CHECK(AllEqual(seen.totals, 600000));
    CHECK(seen.SameFrameEveryCall());

    // No acceptable SIZE reply: -1, all 64 bits set, so both words 0xFFFFFFFF.
    Seen unsized;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"nosize-big.bin", readBlock, &unsized), ApiOk);
    CHECK_EQ(unsized.data.size(), 600000u);
    CHECK(AllEqual(unsized.totals, UINT64_MAX));

    Seen stopped;
    stopped.stopAfter = 0;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"big.bin", readBlock, &stopped), ApiOk);
    CHECK_EQ(stopped.counts.size(), 1u);
    CHECK_EQ(Api().ReadAsset(c.handle(), L"no-such-file", readBlock, &stopped), ApiRemoteOpenFailed);
    CHECK_EQ(stopped.counts.size(), 1u);
}

TEST_CASE(OnlyTheLowByteOfACallbacksAnswerCounts) {
    Connection c;
    dirtyCalls = 0;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"big.bin", &DirtyFalse, nullptr), ApiOk);
    CHECK_EQ(dirtyCalls, 1);  // 0xFFFFFF00 is false
    dirtyCalls = 0;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"big.bin", &DirtyTrue, nullptr), ApiOk);
    CHECK(dirtyCalls >= 3);  // 0x12345601 is true: every block
}

TEST_CASE(DownloadToALocalFile) {
    Connection c;
    const std::wstring local = InWork(L"big-copy.bin");
    Seen seen;
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"big.bin", local.c_str(), progress, &seen), ApiOk);
    CHECK(ReadWholeFile(local) == PatternBytes(600000));
    CHECK_EQ(SumOf(seen.counts), 600000u);
    for (uint32_t count : seen.counts) CHECK(count <= 65536);
    CHECK(AllEqual(seen.totals, 600000));
    CHECK(seen.SameFrameEveryCall());

    CHECK_EQ(Api().DownloadAsset(c.handle(), L"hello.txt", InWork(L"hello.txt").c_str(), nullptr, nullptr),
             ApiOk);
    CHECK_EQ(ReadWholeFile(InWork(L"hello.txt")), std::string("Hello, world\n"));

    WriteWholeFile(InWork(L"was-here.bin"), "old");
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"empty.bin", InWork(L"was-here.bin").c_str(), nullptr,
                                 nullptr), ApiTransferFailed);
    CHECK(!FileExists(InWork(L"was-here.bin")));

    Seen cancel;
    cancel.stopAfter = 0;
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"big.bin", InWork(L"cancelled.bin").c_str(), progress,
                                 &cancel), ApiTransferCancelled);
    CHECK(!FileExists(InWork(L"cancelled.bin")));

    CHECK_EQ(Api().DownloadAsset(c.handle(), L"no-such-file", InWork(L"none.bin").c_str(), nullptr,
                                 nullptr), ApiRemoteOpenFailed);
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"big.bin", InWork(L"no-folder\\x.bin").c_str(), nullptr,
                                 nullptr), ApiFailed);
    // The connection is still in step after the early closes.
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"hello.txt", InWork(L"again.txt").c_str(), nullptr, nullptr),
             ApiOk);
}

namespace {

// Four bursts of 100,000 bytes, 0.4 s apart, onto the end of a file the server serves.
DWORD WINAPI AppendBursts(void *) {
    for (int burst = 0; burst < 4; ++burst) {
        Sleep(400);
        FILE *file = _wfopen(UnderRoot(L"growing.bin").c_str(), L"ab");
        if (file == nullptr) return 1;
        const std::string bytes = PatternBytes(100000);
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return 0;
}

}  // namespace

// A file written while it is fetched arrives whole with "ServerFollowGrowing";
// WinInet's client does not offer the key and ends where the server ends.
TEST_CASE(DownloadFollowsAFileWrittenMeanwhile) {
    WriteWholeFile(UnderRoot(L"growing.bin"), PatternBytes(300000));
    Connection c(L"user", L"pass", false, true, L"2");
    HANDLE writer = CreateThread(nullptr, 0, &AppendBursts, nullptr, 0, nullptr);
    Seen seen;
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"growing.bin", InWork(L"grown.bin").c_str(), progress, &seen), ApiOk);
    WaitForSingleObject(writer, INFINITE);
    CloseHandle(writer);
    CHECK(AllEqual(seen.totals, 300000));
    if (TestingWinInet()) return;
    const std::string whole = ReadWholeFile(UnderRoot(L"growing.bin"));
    CHECK_EQ(whole.size(), 700000u);
    CHECK(ReadWholeFile(InWork(L"grown.bin")) == whole);
}

TEST_CASE(UploadALocalFile) {
    Connection c;
    const std::string data = PatternBytes(2500000);
    WriteWholeFile(InWork(L"up.bin"), data);
    ParameterSet title;
    title.Set("Title", L"up.bin");
    Seen seen;
    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"up.bin").c_str(), progress, &seen),
             ApiOk);
    CHECK(ReadWholeFile(UnderRoot(L"up.bin")) == data);
    CHECK(seen.counts == (std::vector<uint32_t>{1048576, 1048576, 402848}));
    CHECK(AllEqual(seen.totals, 2500000));
    CHECK(seen.SameFrameEveryCall());
    CHECK(Contains(Assets(c.handle()), L"up.bin"));  // the listing was read anew

    title.Set("Title", L"C:\\somewhere\\renamed");  // no extension: the file-name part alone
    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"up.bin").c_str(), nullptr, nullptr),
             ApiOk);
    CHECK_EQ(ReadWholeFile(UnderRoot(L"renamed")).size(), data.size());

    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"missing.bin").c_str(), nullptr,
                               nullptr), ApiFailed);
    ParameterSet untitled;
    CHECK_EQ(Api().UploadAsset(c.handle(), untitled.handle(), InWork(L"up.bin").c_str(), nullptr, nullptr),
             ApiParameterNotFound);
}

TEST_CASE(WriteAStreamFromTheHost) {
    Connection c;
    const auto writeAsset = FunctionCast<WriteAssetTwoWords>(Api().WriteAsset);
    ParameterSet title;
    title.Set("Title", L"streamed.bin");
    Feed feed;
    feed.data = PatternBytes(300000);
    // Only the high word is set: a module that read one word would see 0.
    CHECK_EQ(writeAsset(c.handle(), title.handle(), 0, 1, &FillBlock, &feed), ApiOk);
    CHECK(ReadWholeFile(UnderRoot(L"streamed.bin")) == feed.data);
    CHECK_EQ(feed.calls, 4);  // three blocks, then a length of 0
    CHECK(Contains(Assets(c.handle()), L"streamed.bin"));

    Feed unused;
    CHECK_EQ(writeAsset(c.handle(), title.handle(), 0, 0, &FillBlock, &unused), ApiInvalidArgument);
    CHECK_EQ(unused.calls, 0);
}

TEST_CASE(StoresTheServerRefusedAreNotReportedAsDone) {
    Connection c;
    // The server takes the data, then answers "426 ...; transfer aborted."
    // as on a full disk (names starting with "full-").
    WriteWholeFile(InWork(L"small.bin"), PatternBytes(5000));
    ParameterSet title;
    title.Set("Title", L"full-upload.bin");
    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"small.bin").c_str(), nullptr, nullptr),
             ApiTransferFailed);
    Feed feed;
    feed.data = PatternBytes(5000);
    title.Set("Title", L"full-stream.bin");
    CHECK_EQ(Api().WriteAsset(c.handle(), title.handle(), 5000, &FillBlock, &feed), ApiTransferFailed);
    // And the connection goes on.
    title.Set("Title", L"after-refusal.bin");
    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"small.bin").c_str(), nullptr, nullptr),
             ApiOk);
    CHECK(ReadWholeFile(UnderRoot(L"after-refusal.bin")) == PatternBytes(5000));
}

// The server stops a retrieval after 100,000 of 600,000 bytes, closes the
// data connection and replies "426 ...": neither a download nor a stream may
// pass for the whole file, and no partial local file stays behind.
TEST_CASE(RetrievalsTheServerCutShortFail) {
    Connection c;
    const std::wstring local = InWork(L"cut-copy.bin");
    Seen seen;
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"cut-big.bin", local.c_str(), progress, &seen),
             ApiTransferFailed);
    CHECK(!FileExists(local));
    CHECK_EQ(SumOf(seen.counts), 100000u);
    Seen streamed;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"cut-big.bin", readBlock, &streamed), ApiTransferFailed);
    CHECK(streamed.data == PatternBytes(100000));
    // And the connection goes on.
    CHECK_EQ(Api().DownloadAsset(c.handle(), L"hello.txt", InWork(L"after-cut.txt").c_str(), nullptr,
                                 nullptr), ApiOk);
}

TEST_CASE(ActiveMode) {
    Connection c(L"user", L"pass", false, false);  // the server connects back (PORT)
    CHECK_EQ(c.result(), ApiOk);
    CHECK(Contains(Assets(c.handle()), L"big.bin"));
    Seen seen;
    CHECK_EQ(Api().ReadAsset(c.handle(), L"big.bin", readBlock, &seen), ApiOk);
    CHECK(seen.data == PatternBytes(600000));
    WriteWholeFile(InWork(L"active.bin"), PatternBytes(100000));
    ParameterSet title;
    title.Set("Title", L"active.bin");
    CHECK_EQ(Api().UploadAsset(c.handle(), title.handle(), InWork(L"active.bin").c_str(), nullptr, nullptr),
             ApiOk);
    CHECK(ReadWholeFile(UnderRoot(L"active.bin")) == PatternBytes(100000));
}

namespace {

struct Stoppable {
    int32_t handle = 0;
    std::wstring local;
    ServerApiResult result = ApiOk;
};

DWORD WINAPI DownloadOnWorker(void *context) {
    auto *work = static_cast<Stoppable *>(context);
    work->result = Api().DownloadAsset(work->handle, L"big.bin", work->local.c_str(), nullptr, nullptr);
    return 0;
}

}  // namespace

// A host's interface thread stops a download its worker runs, with
// AbortServer or CloseServer, at a moment of its choosing; Windows threads.
TEST_CASE(StoppedFromAnotherThread) {
    for (int round = 0; round < 20; ++round) {
        Connection c;
        Stoppable work{c.handle(), InWork(L"stopped-" + std::to_wstring(round) + L".bin")};
        HANDLE worker = CreateThread(nullptr, 0, DownloadOnWorker, &work, 0, nullptr);
        Sleep(static_cast<DWORD>(round % 5) * 3);
        if (round % 2 == 0) {
            Api().AbortServer(c.handle());
        } else {
            Api().CloseServer(c.handle());
        }
        CHECK_EQ(WaitForSingleObject(worker, 30000), WAIT_OBJECT_0);
        CloseHandle(worker);
        if (work.result == ApiOk) {
            CHECK(ReadWholeFile(work.local) == PatternBytes(600000));
        } else {
            CHECK(!FileExists(work.local));
        }
    }
}

namespace {

// Retrievals on their own connections, one thread each: a handle value that
// WinInet gives out again must never name another thread's file.
struct SideBySide {
    std::string expected;
    int rounds = 0;
    int whole = 0;
};

DWORD WINAPI RetrieveOverAndOver(void *context) {
    auto &side = *static_cast<SideBySide *>(context);
    Connection c;
    for (int round = 0; round < side.rounds; ++round) {
        Seen seen;
        if (Api().ReadAsset(c.handle(), L"side.bin", readBlock, &seen) == ApiOk && seen.data == side.expected) {
            ++side.whole;
        }
    }
    return 0;
}

}  // namespace

TEST_CASE(RetrievalsSideBySide) {
    WriteWholeFile(UnderRoot(L"side.bin"), PatternBytes(70000));
    SideBySide sides[3];
    HANDLE workers[3];
    for (int i = 0; i < 3; ++i) {
        sides[i].expected = PatternBytes(70000);
        sides[i].rounds = 40;
        workers[i] = CreateThread(nullptr, 0, RetrieveOverAndOver, &sides[i], 0, nullptr);
    }
    CHECK(WaitForMultipleObjects(3, workers, TRUE, 120000) < WAIT_OBJECT_0 + 3);
    for (int i = 0; i < 3; ++i) {
        CloseHandle(workers[i]);
        CHECK_EQ(sides[i].whole, sides[i].rounds);
    }
}

namespace {

// The worker's progress callback hands its first update to the interface
// thread and waits for the answer, as a SendMessage does.
struct HandedOver {
    int32_t handle = 0;
    std::wstring local;
    HANDLE inCallback = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool waitedInVain = false;
    int calls = 0;
    ServerApiResult result = ApiOk;
};

bool __stdcall HandToInterface(void *context, uint32_t, uint32_t, uint32_t) {
    auto &scene = *static_cast<HandedOver *>(context);
    if (scene.calls++ == 0) {
        SetEvent(scene.inCallback);
        scene.waitedInVain = WaitForSingleObject(scene.answered, 20000) != WAIT_OBJECT_0;
    }
    return true;
}

DWORD WINAPI DownloadHandingOver(void *context) {
    auto &scene = *static_cast<HandedOver *>(context);
    scene.result = Api().DownloadAsset(scene.handle, L"big.bin", scene.local.c_str(),
                                       FunctionCast<TransferProgressCallback>(&HandToInterface), &scene);
    return 0;
}

}  // namespace

// The interface thread closes the connection while the worker's callback
// waits for the interface thread: the close returns, the callback gets its
// answer, and the download fails on the worker's thread. The interface
// thread's own call on the busy connection is refused, not kept waiting.
TEST_CASE(InterfaceThreadStopsWhileTheCallbackWaitsForIt) {
    Connection c;
    HandedOver scene;
    scene.handle = c.handle();
    scene.local = InWork(L"handed-over.bin");
    HANDLE worker = CreateThread(nullptr, 0, DownloadHandingOver, &scene, 0, nullptr);
    CHECK_EQ(WaitForSingleObject(scene.inCallback, 20000), WAIT_OBJECT_0);
    wchar_t folder[260];
    uint32_t length = 260;
    CHECK_EQ(Api().GetCurrentFolder(c.handle(), folder, folder, &length), ApiConnectionBusy);
    Api().CloseServer(c.handle());
    SetEvent(scene.answered);
    CHECK_EQ(WaitForSingleObject(worker, 30000), WAIT_OBJECT_0);
    CloseHandle(worker);
    CHECK(!scene.waitedInVain);
    CHECK_EQ(scene.result, ApiTransferFailed);
    CHECK(!FileExists(scene.local));
    CloseHandle(scene.inCallback);
    CloseHandle(scene.answered);
}

namespace {

// Two workers, each inside a progress callback of a download on its own
// connection, each calling slots of the other's connection.
struct CrossedSide {
    int32_t mine = 0;
    int32_t other = 0;
    std::wstring local;
    volatile LONG *inside = nullptr;
    volatile LONG *asked = nullptr;
    volatile LONG *closed = nullptr;
    ServerApiResult otherFolder = ApiOk;
    ServerApiResult result = ApiOk;
    int calls = 0;
};

bool WaitForCount(volatile LONG *count, LONG wanted) {
    for (int waited = 0; InterlockedCompareExchange(count, 0, 0) < wanted; waited += 5) {
        if (waited >= 20000) return false;
        Sleep(5);
    }
    return true;
}

bool __stdcall CallTheOther(void *context, uint32_t, uint32_t, uint32_t) {
    auto &side = *static_cast<CrossedSide *>(context);
    if (side.calls++ > 0) return true;
    InterlockedIncrement(side.inside);
    WaitForCount(side.inside, 2);
    wchar_t folder[260];
    uint32_t length = 260;
    side.otherFolder = Api().GetCurrentFolder(side.other, folder, folder, &length);
    InterlockedIncrement(side.asked);
    WaitForCount(side.asked, 2);
    Api().CloseServer(side.other);
    // Back to the transfer only once both closes are done: a side that went on
    // before its own connection was closed could finish its download.
    InterlockedIncrement(side.closed);
    WaitForCount(side.closed, 2);
    return true;
}

DWORD WINAPI DownloadCrossed(void *context) {
    auto &side = *static_cast<CrossedSide *>(context);
    side.result = Api().DownloadAsset(side.mine, L"big.bin", side.local.c_str(),
                                      FunctionCast<TransferProgressCallback>(&CallTheOther), &side);
    return 0;
}

}  // namespace

// Each worker's callback calls the other's connection, then closes it: the
// calls are refused as busy, nobody waits for anybody, and both downloads fail
// on their own threads.
TEST_CASE(CrossedCallbacksOnTwoConnections) {
    Connection first;
    Connection second;
    volatile LONG inside = 0;
    volatile LONG asked = 0;
    volatile LONG closed = 0;
    CrossedSide sides[2];
    HANDLE workers[2];
    for (int i = 0; i < 2; ++i) {
        sides[i].mine = i == 0 ? first.handle() : second.handle();
        sides[i].other = i == 0 ? second.handle() : first.handle();
        sides[i].local = InWork(L"crossed-" + std::to_wstring(i) + L".bin");
        sides[i].inside = &inside;
        sides[i].asked = &asked;
        sides[i].closed = &closed;
        workers[i] = CreateThread(nullptr, 0, DownloadCrossed, &sides[i], 0, nullptr);
    }
    CHECK(WaitForMultipleObjects(2, workers, TRUE, 60000) < WAIT_OBJECT_0 + 2);
    for (int i = 0; i < 2; ++i) {
        CloseHandle(workers[i]);
        CHECK_EQ(sides[i].otherFolder, ApiConnectionBusy);
        CHECK_EQ(sides[i].result, ApiTransferFailed);
        CHECK(!FileExists(sides[i].local));
    }
}
