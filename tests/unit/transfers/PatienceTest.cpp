// The two flags that cut the module's waits: a retrieval ends at the server's
// confirmation, and GetAssetInfo gives up on a permanent refusal. Each case
// also says what must still wait, so that a slow server is never cut short.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "TransferFixture.h"

namespace sapi::testing {
namespace {

namespace fs = std::filesystem;

struct EndCase {
    const char *label;
    bool flagSet;
    std::deque<FakeRead> reads;
    bool confirmsEnd;            // what the client services say once the reads are used up
    uint32_t queryError;         // non-zero: the query fails (WinInet cannot tell)
    std::size_t expectedWaits;
};

void PrintTo(const EndCase &end, std::ostream *out) { *out << end.label; }

class EndOnConfirmationTest : public TransferTest, public ::testing::WithParamInterface<EndCase> {
protected:
    int32_t Prepared() {
        const EndCase &end = GetParam();
        const int32_t handle = end.flagSet ? Open(false, {"ServerEndOnConfirmation"}) : connection;
        fake.reads = end.reads;
        fake.confirmsEnd = end.confirmsEnd;
        if (end.queryError != 0) fake.ScriptFailures("InternetQueryOption", end.queryError, 100);
        return handle;
    }
};

TEST_P(EndOnConfirmationTest, ReadAssetWaitsOnlyWhereDataMayStillCome) {
    CallbackLog log;
    EXPECT_EQ(ReadAsset(Prepared(), u"f.bin", &RecordRead, &log), ApiOk);
    EXPECT_EQ(log.data, "late-abc");
    EXPECT_EQ(recordedWaits.size(), GetParam().expectedWaits);
    if (!GetParam().flagSet) {
        EXPECT_EQ(fake.CountOf("InternetQueryOption"), 0);  // traffic as before
    }
}

TEST_P(EndOnConfirmationTest, DownloadAssetKeepsTheWholeFile) {
    const fs::path target = fs::temp_directory_path() / ("sapi-patience-" + std::to_string(::getpid()));
    const int32_t handle = Prepared();
    EXPECT_EQ(DownloadAsset(handle, u"f.bin", target.u16string().c_str(), nullptr, nullptr), ApiOk);
    std::ifstream file(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "late-abc");
    EXPECT_EQ(recordedWaits.size(), GetParam().expectedWaits);
    fs::remove(target);
}

const std::deque<FakeRead> lateStart = {FakeRead::Zero(), FakeRead::Zero(), FakeRead::Data("late-abc")};

INSTANTIATE_TEST_SUITE_P(
    Ends, EndOnConfirmationTest,
    ::testing::Values(
        // Two empty reads before the data: not confirmed, so both are waited out;
        // the final empty read is confirmed and ends the transfer at once.
        EndCase{"confirmedEndEndsAtOnce", true, lateStart, true, 0, 2},
        EndCase{"unconfirmedEndWaitsAsBefore", true, lateStart, false, 0, 12},
        EndCase{"servicesThatCannotTellWait", true, lateStart, true, 12009, 12},
        EndCase{"flagAbsentWaitsAsBefore", false, lateStart, true, 0, 12}),
    [](const auto &testInfo) { return std::string(testInfo.param.label); });

struct RefusalCase {
    const char *label;
    bool flagSet;
    uint32_t openError;
    const char *reply;
    int expectedOpens;
};

void PrintTo(const RefusalCase &refusal, std::ostream *out) { *out << refusal.label; }

class StopOnRefusalTest : public TransferTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(StopOnRefusalTest, OnlyAPermanentRefusalEndsTheAttempts) {
    const RefusalCase &refusal = GetParam();
    const int32_t handle = refusal.flagSet ? Open(false, {"ServerStopOnRefusal"}) : connection;
    fake.ScriptFailures("FtpOpenFile", refusal.openError, 30);
    fake.openReplies = std::deque<std::string>(30, refusal.reply);
    EXPECT_EQ(GetAssetInfo(handle, u"gone.bin", assetSet), ApiOk);
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), refusal.expectedOpens);
    // A wait and an "ABOR" after each attempt that is tried again, and the closing "ABOR".
    const int retried = refusal.expectedOpens == 30 ? 30 : refusal.expectedOpens - 1;
    EXPECT_EQ(recordedWaits.size(), static_cast<std::size_t>(retried));
    EXPECT_EQ(CountOfCommand("ABOR"), retried + 1);
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"");
    EXPECT_EQ(Parameter(assetSet, "AssetName"), u"gone.bin");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, StopOnRefusalTest,
    ::testing::Values(RefusalCase{"permanentRefusal", true, 12003, "550 gone.bin: No such file.", 1},
                      RefusalCase{"transientRefusal", true, 12003, "450 Try again later.", 30},
                      RefusalCase{"transferInProgress", true, 12110, "550 stale reply of another command", 30},
                      RefusalCase{"flagAbsent", false, 12003, "550 gone.bin: No such file.", 30}),
    [](const auto &testInfo) { return std::string(testInfo.param.label); });

}  // namespace
}  // namespace sapi::testing
