// The total size that every ReadAsset callback receives comes from the "SIZE "
// reply; any reply that is not a usable 2xx gives -1 and the transfer goes on.
#include "TransferFixture.h"

namespace sapi::testing {
namespace {

struct SizeCase {
    const char *label;
    std::string reply;
    bool commandFails;
    int64_t totalSize;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SizeCase &size, std::ostream *out) { *out << size.label; }

class RemoteSizeTest : public TransferTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(RemoteSizeTest, EveryBlockCarriesTheProbedSize) {
    const SizeCase &size = GetParam();
    fake.commandReplies.push_back(size.reply);
    if (size.commandFails) fake.Script("FtpCommand", FakeOutcome::Failure(12003));
    fake.reads = {FakeRead::Data(std::string(262144, 'a')), FakeRead::Data("tail")};
    CallbackLog log;
    EXPECT_EQ(ReadAsset(connection, u"dir/file.bin", &RecordRead, &log), ApiOk);
    EXPECT_EQ(log.totalSizes, (std::vector<int64_t>{size.totalSize, size.totalSize}));
    const FakeCall &probe = *fake.CallsNamed("FtpCommand").at(0);
    EXPECT_EQ(probe.texts[0], "SIZE dir/file.bin");
    EXPECT_EQ(probe.number, 0u);  // no data connection expected
    EXPECT_EQ(probe.flags, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RemoteSizeTest,
    ::testing::Values(SizeCase{"digits", "213 1048576", false, 1048576},
                      SizeCase{"beyond32Bits", "213 5000000000\r\n", false, 5000000000LL},
                      SizeCase{"lettersOnly", "213 abc", false, 0},
                      SizeCase{"fourCharacters", "213 ", false, -1},
                      SizeCase{"notTwoHundreds", "550 Could not get file size.", false, -1},
                      SizeCase{"tooLongForTheBuffer", "213 " + std::string(300, '7'), false, -1},
                      SizeCase{"commandFailed", "213 1048576", true, -1}),
    [](const auto &testInfo) { return std::string(testInfo.param.label); });

}  // namespace
}  // namespace sapi::testing
