// ReadAsset and DownloadAsset: the read loop's patience, how each ends, and
// what is left on the local disk.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>

#include "FailingClose.h"
#include "TransferFixture.h"

namespace sapi::testing {
namespace {

namespace fs = std::filesystem;

std::deque<FakeRead> Zeros(int count) { return std::deque<FakeRead>(static_cast<std::size_t>(count), FakeRead::Zero()); }

std::deque<FakeRead> Concat(std::initializer_list<std::deque<FakeRead>> parts) {
    std::deque<FakeRead> all;
    for (const auto &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

using ReadAssetTest = TransferTest;

TEST_F(ReadAssetTest, EmptyReadBudgetStartsAfreshForEveryBlock) {
    fake.reads = Concat({{FakeRead::Data("a")}, Zeros(10), {FakeRead::Data("b")}, Zeros(10), {FakeRead::Data("c")}});
    CallbackLog log;
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiOk);
    EXPECT_EQ(log.data, "abc");
    // Three blocks found after up to ten retries each, then the end of the file
    // with its own ten retries.
    EXPECT_EQ(fake.CountOf("InternetReadFile"), 1 + 11 + 11 + 11);
    EXPECT_EQ(recordedWaits.size(), 30u);
    for (const FakeCall *read : fake.CallsNamed("InternetReadFile")) EXPECT_EQ(read->number, 262144u);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(ReadAssetTest, DataAfterElevenEmptyReadsIsNeverAskedFor) {
    fake.reads = Concat({Zeros(11), {FakeRead::Data("late")}});
    CallbackLog log;
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiOk);
    EXPECT_TRUE(log.counts.empty());
    EXPECT_EQ(fake.CountOf("InternetReadFile"), 11);
}

TEST_F(ReadAssetTest, HostThatStopsEndsWithSuccessAndNoFurtherRead) {
    fake.reads = {FakeRead::Data(std::string(300000, 'x'))};
    CallbackLog log;
    log.answerFalseAt = 0;
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiOk);
    EXPECT_EQ(log.counts, (std::vector<uint32_t>{262144}));
    EXPECT_EQ(fake.CountOf("InternetReadFile"), 1);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(ReadAssetTest, FailedReadIsAFailureNotAShortFile) {
    fake.reads = {FakeRead::Data("first"), FakeRead::Failure(12030)};
    CallbackLog log;
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiTransferFailed);
    EXPECT_EQ(log.data, "first");
    // A read that fails during the empty-read retries ends them at once.
    fake.reads = {FakeRead::Zero(), FakeRead::Zero(), FakeRead::Failure(12030), FakeRead::Data("never")};
    recordedWaits.clear();
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiTransferFailed);
    EXPECT_EQ(recordedWaits.size(), 2u);
    EXPECT_EQ(log.data, "first");
}

TEST_F(ReadAssetTest, OpenFailuresAndArguments) {
    fake.ScriptFailures("FtpOpenFile", 12003, 1);
    CallbackLog log;
    EXPECT_EQ(ReadAsset(connection, u"missing.bin", &RecordRead, &log), ApiRemoteOpenFailed);
    EXPECT_EQ(Traffic(), (std::vector<std::string>{"FtpCommand SIZE missing.bin", "InternetGetLastResponseInfo",
                                                   "FtpOpenFile missing.bin"}));
    // A name the client refuses to send fails like a missing file.
    EXPECT_EQ(ReadAsset(connection, u"a\nb", &RecordRead, &log), ApiRemoteOpenFailed);
    EXPECT_TRUE(log.counts.empty());
    fake.calls.clear();
    EXPECT_EQ(ReadAsset(connection + 100, nullptr, &RecordRead, &log), ApiInvalidArgument);
    EXPECT_EQ(ReadAsset(connection, u"", &RecordRead, &log), ApiInvalidArgument);
    EXPECT_EQ(ReadAsset(connection + 100, u"f.bin", nullptr, &log), ApiNoSuchConnection);
    EXPECT_EQ(ReadAsset(connection, u"f.bin", nullptr, &log), ApiInvalidArgument);
    EXPECT_TRUE(fake.calls.empty());
    AbortServer(connection);
    fake.calls.clear();
    EXPECT_EQ(ReadAsset(connection, u"f.bin", &RecordRead, &log), ApiRemoteOpenFailed);
    EXPECT_TRUE(fake.calls.empty());
}

class DownloadAssetTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "sapi-download-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        target_ = folder_ / "target.bin";
        std::ofstream(target_) << "an older file";
    }
    void TearDown() override {
        fs::remove_all(folder_);
        TransferTest::TearDown();
    }
    ResultCode Download(CallbackLog *log) {
        const std::u16string path = WideFromUtf8(target_.string());
        return DownloadAsset(connection, u"remote.bin", path.c_str(), log ? &RecordProgress : nullptr, log);
    }
    std::string Local() const {
        std::ifstream in(target_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path folder_;
    fs::path target_;
};

// A client that cannot ask for digests (WinInet refuses the option), with
// verification required: nothing is fetched, the old file stays, and the set
// the connection was opened with says why. With "1" the file comes, unverified.
TEST_F(DownloadAssetTest, RequiredVerificationOnAClientWithoutDigestsFetchesNothing) {
    for (const char16_t *mode : {u"2", u"1"}) {
        int32_t set = 0;
        ASSERT_EQ(CreateParameterSet(&set), ApiOk);
        for (const auto &[key, value] : {std::pair{"ServerPrimaryAddress", u"127.0.0.1"}, {"ServerPrimaryPort", u"21"},
                                         {"ServerPrimaryLoginName", u"user"}, {"ServerPrimaryLoginPassword", u"pw"},
                                         {"ServerVerifyHash", mode}}) {
            SetParameter(set, key, value);
        }
        fake.Script("InternetSetOption", FakeOutcome::Failure(12009));
        ASSERT_EQ(OpenServer(set, &connection), ApiOk);
        fake.reads = {FakeRead::Data("new")};
        EXPECT_EQ(Download(nullptr), mode == std::u16string(u"2") ? ApiTransferFailed : ApiOk);
        EXPECT_EQ(Local(), mode == std::u16string(u"2") ? "an older file" : "new");
        EXPECT_EQ(Parameter(set, "ServerVerifyResult"), u"not verified: this build's FTP client cannot ask for digests");
        CloseServer(connection);
        DestroyParameterSet(set);
    }
}

TEST_F(DownloadAssetTest, CompleteFileStaysWithProgressPerBlock) {
    const std::string content = std::string(65536 * 2, 'p') + "end";
    fake.commandReplies = {"213 131075"};
    fake.reads = {FakeRead::Data(content)};
    CallbackLog log;
    EXPECT_EQ(Download(&log), ApiOk);
    EXPECT_EQ(Local(), content);
    EXPECT_EQ(log.counts, (std::vector<uint32_t>{65536, 65536, 3}));
    EXPECT_EQ(log.totalSizes, (std::vector<int64_t>(3, 131075)));
    EXPECT_EQ(fake.CallsNamed("InternetReadFile").at(0)->number, 65536u);
    EXPECT_EQ(fake.OpenHandleCount(), 2);

    fake.reads = {FakeRead::Data("no progress function")};
    EXPECT_EQ(Download(nullptr), ApiOk);
    EXPECT_EQ(Local(), "no progress function");
}

struct DownloadEndCase {
    const char *label;
    std::deque<FakeRead> reads;
    std::size_t progressFalseAt;
    ResultCode result;
};

void PrintTo(const DownloadEndCase &end, std::ostream *out) { *out << end.label; }

class DownloadEndTest : public DownloadAssetTest, public ::testing::WithParamInterface<DownloadEndCase> {};

TEST_P(DownloadEndTest, UnfinishedDownloadsLeaveNoFile) {
    fake.reads = GetParam().reads;
    CallbackLog log;
    log.answerFalseAt = GetParam().progressFalseAt;
    EXPECT_EQ(Download(&log), GetParam().result);
    EXPECT_FALSE(fs::exists(target_));  // not even the file that was there before
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DownloadEndTest,
    ::testing::Values(DownloadEndCase{"emptyRemoteFile", {}, SIZE_MAX, ApiTransferFailed},
                      DownloadEndCase{"readFailsAfterData", {FakeRead::Data("x"), FakeRead::Failure(12030)}, SIZE_MAX,
                                      ApiTransferFailed},
                      DownloadEndCase{"readFailsAtOnce", {FakeRead::Failure(12030)}, SIZE_MAX, ApiTransferFailed},
                      DownloadEndCase{"hostCancels", {FakeRead::Data(std::string(70000, 'c'))}, 1,
                                      ApiTransferCancelled}),
    [](const auto &testInfo) { return std::string(testInfo.param.label); });

// A file-size limit makes the local writes fail where we want them to.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limited = previous_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        ::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    sighandler_t previousHandler_;
};

TEST_F(DownloadAssetTest, FailedLocalWritesAreFailuresAndLeaveNoFile) {
    CallbackLog log;
    {
        FileSizeLimit limit(100000);
        fake.reads = {FakeRead::Data(std::string(200000, 'w'))};
        EXPECT_EQ(Download(&log), ApiTransferFailed);
        EXPECT_FALSE(fs::exists(target_));
        fake.reads = {FakeRead::Data(std::string(200000, 'w'))};
        FileSizeLimit tighter(1000);
        EXPECT_EQ(Download(&log), ApiTransferFailed);
        EXPECT_FALSE(fs::exists(target_));
    }
    EXPECT_EQ(log.counts, (std::vector<uint32_t>{65536}));  // only the block that was written
}

// A close that fails may have lost the last bytes: no file, no success.
TEST_F(DownloadAssetTest, AFailedCloseOfTheLocalFileIsAFailureAndLeavesNoFile) {
    fake.reads = {FakeRead::Data("all of it")};
    {
        const FailingClose failing(target_);
        EXPECT_EQ(Download(nullptr), ApiTransferFailed);
    }
    EXPECT_FALSE(fs::exists(target_));
}

TEST_F(DownloadAssetTest, ExhaustedHeapClosesEverythingAndLeavesNoFile) {
    fake.reads = {FakeRead::Data("x")};
    fake.OnCall("InternetReadFile", 2, [] { throw std::bad_alloc(); });
    EXPECT_EQ(Download(nullptr), ApiOutOfMemory);
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(DownloadAssetTest, LocalFileThatCannotBeMadeAndArguments) {
    target_ = folder_ / "no-such-folder" / "x.bin";
    EXPECT_EQ(Download(nullptr), ApiFailed);
    EXPECT_EQ(fake.CountOf("InternetReadFile"), 0);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
    fake.ScriptFailures("FtpOpenFile", 12003, 1);
    EXPECT_EQ(Download(nullptr), ApiRemoteOpenFailed);

    fake.calls.clear();
    EXPECT_EQ(DownloadAsset(connection + 100, nullptr, u"x", nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(DownloadAsset(connection + 100, u"r", nullptr, nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(DownloadAsset(connection, u"", u"x", nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(DownloadAsset(connection, u"r", u"", nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(DownloadAsset(connection + 100, u"r", u"x", nullptr, nullptr), ApiNoSuchConnection);
    EXPECT_TRUE(fake.calls.empty());
}

}  // namespace
}  // namespace sapi::testing
