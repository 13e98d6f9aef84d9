// GetAssetInfo: the keys it writes and what the server sees, retries included.
#include <map>

#include "TransferFixture.h"

namespace sapi::testing {
namespace {

using AssetInfoTest = TransferTest;

const std::vector<std::string> openedOnceTraffic = {
    "FtpCommand SIZE dir/a.bin", "InternetGetLastResponseInfo", "FtpOpenFile dir/a.bin", "FtpGetFileSize", "InternetCloseHandle", "FtpCommand ABOR"};

TEST_F(AssetInfoTest, FileThatOpensGivesItsSizeAndNoReadTest) {
    fake.fileSize = 1048576;
    EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"1048576");
    EXPECT_EQ(Parameter(assetSet, "AssetName"), u"dir/a.bin");
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"<absent>");
    EXPECT_EQ(Traffic(), openedOnceTraffic);
    const FakeCall &open = *fake.CallsNamed("FtpOpenFile").at(0);
    EXPECT_EQ(open.number, 0x80000000u);
    EXPECT_EQ(open.flags, 0x84000002u);
    EXPECT_TRUE(recordedWaits.empty());
    EXPECT_EQ(fake.OpenHandleCount(), 2);  // the connection's own two
}

TEST_F(AssetInfoTest, SizesBeyond32BitsAndUnreadableSizes) {
    // A low word of 0xFFFFFFFF is a real size when the client says so, even
    // after an open that had to be retried.
    const std::map<uint64_t, std::u16string> sizes = {
        {5368709120ULL, u"5368709120"}, {0xFFFFFFFFULL, u"4294967295"}, {0x1FFFFFFFFULL, u"8589934591"}};
    for (const auto &[size, text] : sizes) {
        fake.ScriptFailures("FtpOpenFile", 12110, 1);
        fake.fileSizes = {size};
        EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet), ApiOk);
        EXPECT_EQ(Parameter(assetSet, "AssetSize"), text);
    }
    fake.fileSizeFails = true;
    EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"");
}

TEST_F(AssetInfoTest, ReadTestMarksOnlyFilesThatGiveNoData) {
    const int32_t verifying = Open(true);
    fake.fileSize = 7;
    fake.reads = {FakeRead::Data("1234567")};
    SetParameter(assetSet, "Under Construction", u"1");  // from an earlier call: never cleared
    EXPECT_EQ(GetAssetInfo(verifying, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(fake.CallsNamed("InternetReadFile").at(0)->number, 32u);
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"1");

    RemoveParameter(assetSet, "Under Construction");
    fake.reads = {FakeRead::Data("1234567")};
    EXPECT_EQ(GetAssetInfo(verifying, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"<absent>");

    fake.fileSize = 0;  // an empty file: the read gets nothing
    EXPECT_EQ(GetAssetInfo(verifying, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"0");
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"1");
}

TEST_F(AssetInfoTest, OpenThatNeverSucceedsIsTriedThirtyTimes) {
    const int32_t verifying = Open(true);
    fake.ScriptFailures("FtpOpenFile", 12003, 30);
    EXPECT_EQ(GetAssetInfo(verifying, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), 30);
    EXPECT_EQ(CountOfCommand("ABOR"), 31);
    ASSERT_EQ(recordedWaits.size(), 30u);
    for (const RecordedWait &wait : recordedWaits) {
        EXPECT_EQ(wait.milliseconds, 1000u);
        EXPECT_EQ(fake.calls.at(wait.callsBefore - 1).texts.at(0), "ABOR");  // each wait follows an "ABOR"
    }
    EXPECT_EQ(Traffic().back(), "FtpCommand ABOR");
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"");
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"1");
    EXPECT_EQ(Parameter(assetSet, "AssetName"), u"dir/a.bin");
}

TEST_F(AssetInfoTest, OpenThatSucceedsAtTheThirdAttempt) {
    fake.Script("FtpOpenFile", FakeOutcome::Failure(12110));
    fake.Script("FtpOpenFile", FakeOutcome::Failure(12003));
    fake.fileSize = 42;
    EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_EQ(Traffic(), (std::vector<std::string>{"FtpCommand SIZE dir/a.bin", "InternetGetLastResponseInfo", "FtpOpenFile dir/a.bin",
                                                   "FtpCommand ABOR", "FtpOpenFile dir/a.bin", "FtpCommand ABOR",
                                                   "FtpOpenFile dir/a.bin", "FtpGetFileSize",
                                                   "InternetCloseHandle", "FtpCommand ABOR"}));
    EXPECT_EQ(recordedWaits.size(), 2u);
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"42");
}

TEST_F(AssetInfoTest, OtherOpenErrorsAreNotRetried) {
    const int32_t verifying = Open(true);
    fake.ScriptFailures("FtpOpenFile", 12002, 1);
    EXPECT_EQ(GetAssetInfo(verifying, u"dir/a.bin", assetSet), ApiOk);
    // A name the client refuses to send (error 87) is such an error too.
    EXPECT_EQ(GetAssetInfo(verifying, u"a.bin\r\nDELE b.bin", assetSet), ApiOk);
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), 2);
    EXPECT_EQ(CountOfCommand("ABOR"), 2);  // only the closing ones
    EXPECT_TRUE(recordedWaits.empty());
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"");
    EXPECT_EQ(Parameter(assetSet, "Under Construction"), u"1");
    EXPECT_EQ(Parameter(assetSet, "AssetName"), u"a.bin\r\nDELE b.bin");
}

TEST_F(AssetInfoTest, AbortedConnectionSaysTheSizeCannotBeRead) {
    SetParameter(assetSet, "AssetSize", u"99");  // from an earlier call with the same set
    AbortServer(connection);
    fake.calls.clear();
    EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet), ApiOk);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(Parameter(assetSet, "AssetSize"), u"");
    EXPECT_EQ(Parameter(assetSet, "AssetName"), u"dir/a.bin");
}

TEST_F(AssetInfoTest, ArgumentsAndUnknownHandles) {
    EXPECT_EQ(GetAssetInfo(connection, nullptr, assetSet), ApiInvalidArgument);
    EXPECT_EQ(GetAssetInfo(connection + 100, nullptr, assetSet), ApiInvalidArgument);
    EXPECT_EQ(GetAssetInfo(connection + 100, u"dir/a.bin", assetSet), ApiNoSuchConnection);
    EXPECT_TRUE(fake.calls.empty());
    // A set that does not exist fails only the writes; the server sees everything.
    EXPECT_EQ(GetAssetInfo(connection, u"dir/a.bin", assetSet + 100), ApiFailed);
    EXPECT_EQ(Traffic(), openedOnceTraffic);
}

}  // namespace
}  // namespace sapi::testing
