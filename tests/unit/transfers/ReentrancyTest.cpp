// A host that closes or aborts the connection from inside a transfer's own
// callback: the call must neither crash nor report success, and must close its
// remote file exactly once.
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "TransferFixture.h"

namespace sapi::testing {
namespace {

namespace fs = std::filesystem;

enum class Operation { ReadAsset, DownloadAsset, WriteAsset, UploadAsset };
enum class HostCall { CloseServer, AbortServer };

struct ReentryCase {
    Operation operation;
    HostCall hostCall;
};

class ReentrancyTest : public TransferTest, public ::testing::WithParamInterface<ReentryCase> {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "sapi-reentry-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        fs::remove_all(folder_);
        TransferTest::TearDown();
    }

    std::function<void()> HostCallInside() {
        const int32_t handle = connection;
        if (GetParam().hostCall == HostCall::CloseServer) return [handle] { CloseServer(handle); };
        return [handle] { AbortServer(handle); };
    }

    ResultCode Run() {
        fake.reads = {FakeRead::Data(std::string(300000, 'r'))};
        const std::u16string local = WideFromUtf8((folder_ / "local.bin").string());
        CallbackLog log;
        log.during = HostCallInside();
        switch (GetParam().operation) {
        case Operation::ReadAsset:
            return ReadAsset(connection, u"remote.bin", &RecordRead, &log);
        case Operation::DownloadAsset:
            return DownloadAsset(connection, u"remote.bin", local.c_str(), &RecordProgress, &log);
        case Operation::WriteAsset: {
            SetParameter(assetSet, "Title", u"remote.bin");
            StreamFeed feed({"first", "second", ""});
            feed.during = HostCallInside();
            return WriteAsset(connection, assetSet, 1, &FeedStream, &feed);
        }
        case Operation::UploadAsset:
            SetParameter(assetSet, "Title", u"remote.bin");
            std::ofstream(folder_ / "local.bin", std::ios::binary) << std::string(1048576 + 10, 'u');
            return UploadAsset(connection, assetSet, local.c_str(), &RecordProgress, &log);
        }
        return ApiOk;
    }

    fs::path folder_;
};

TEST_P(ReentrancyTest, TransferFailsSafelyAndClosesItsFileOnce) {
    EXPECT_EQ(Run(), ApiTransferFailed);
    for (const std::string &problem : fake.problems) {
        EXPECT_EQ(problem, "a parent was closed while a child was open");  // the host's own doing
    }
    EXPECT_EQ(fake.OpenHandleCount(), 0);
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), 1);
    const FakeCall *open = fake.CallsNamed("FtpOpenFile").at(0);
    int closes = 0;
    for (const FakeCall *close : fake.CallsNamed("InternetCloseHandle")) closes += close->handle == open->result ? 1 : 0;
    EXPECT_EQ(closes, 1);
    if (GetParam().operation == Operation::DownloadAsset) {
        EXPECT_FALSE(fs::exists(folder_ / "local.bin"));
    }
    const ResultCode afterwards = GetAssetInfo(connection, u"remote.bin", assetSet);
    EXPECT_EQ(afterwards, GetParam().hostCall == HostCall::CloseServer ? ApiNoSuchConnection : ApiOk);
}

std::string Name(const ReentryCase &reentry) {
    static const char *const operationNames[] = {"ReadAsset", "DownloadAsset", "WriteAsset", "UploadAsset"};
    return std::string(operationNames[static_cast<int>(reentry.operation)]) +
           (reentry.hostCall == HostCall::CloseServer ? "CloseServer" : "AbortServer");
}

std::string CaseName(const ::testing::TestParamInfo<ReentryCase> &testCase) { return Name(testCase.param); }

void PrintTo(const ReentryCase &reentry, std::ostream *out) { *out << Name(reentry); }

INSTANTIATE_TEST_SUITE_P(
    FromCallbacks, ReentrancyTest,
    ::testing::Values(ReentryCase{Operation::ReadAsset, HostCall::CloseServer},
                      ReentryCase{Operation::ReadAsset, HostCall::AbortServer},
                      ReentryCase{Operation::DownloadAsset, HostCall::CloseServer},
                      ReentryCase{Operation::DownloadAsset, HostCall::AbortServer},
                      ReentryCase{Operation::WriteAsset, HostCall::CloseServer},
                      ReentryCase{Operation::WriteAsset, HostCall::AbortServer},
                      ReentryCase{Operation::UploadAsset, HostCall::CloseServer},
                      ReentryCase{Operation::UploadAsset, HostCall::AbortServer}),
    CaseName);

}  // namespace
}  // namespace sapi::testing
