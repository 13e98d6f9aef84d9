// WriteAsset and UploadAsset: what is stored, under which name, how each ends,
// and that the listing is read anew.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <numeric>

#include "TransferFixture.h"

namespace sapi::testing {
namespace {

namespace fs = std::filesystem;

class UploadTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "sapi-upload-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        SetParameter(assetSet, "Title", u"media/report");
    }
    void TearDown() override {
        fs::remove_all(folder_);
        TransferTest::TearDown();
    }
    std::u16string LocalFile(const std::string &content) {
        const fs::path path = folder_ / "source.bin";
        std::ofstream(path, std::ios::binary) << content;
        return WideFromUtf8(path.string());
    }
    ResultCode Upload(const std::u16string &path, CallbackLog *log) {
        return UploadAsset(connection, assetSet, path.c_str(), log ? &RecordProgress : nullptr, log);
    }
    ResultCode Write(StreamFeed &feed) { return WriteAsset(connection, assetSet, 1, &FeedStream, &feed); }
    bool ListingReadAfterClose() const {
        const std::vector<std::string> names = fake.CallNames();
        return names.size() >= 2 && names[names.size() - 2] == "InternetCloseHandle" &&
               std::find(names.end() - 2, names.end(), "FtpFindFirstFile") != names.end();
    }

    fs::path folder_;
};

using WriteAssetTest = UploadTest;

TEST_F(WriteAssetTest, StreamIsStoredUnderTheWholeTitle) {
    StreamFeed feed({std::string(262144, 's'), "tail", ""});
    EXPECT_EQ(Write(feed), ApiOk);
    EXPECT_EQ(fake.written, std::string(262144, 's') + "tail");
    const FakeCall &open = *fake.CallsNamed("FtpOpenFile").at(0);
    EXPECT_EQ(open.texts[0], "media/report");
    EXPECT_EQ(open.number, 0x40000000u);
    EXPECT_EQ(open.flags, 0x84000002u);
    EXPECT_EQ(fake.CallNames().back(), "FtpFindFirstFile");
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(WriteAssetTest, HostEndingTheStreamStoresWhatWasSent) {
    StreamFeed stopAtOnce({"never sent"}, 0);
    EXPECT_EQ(Write(stopAtOnce), ApiOk);
    StreamFeed emptyAtOnce({""});
    EXPECT_EQ(Write(emptyAtOnce), ApiOk);
    EXPECT_EQ(fake.CountOf("InternetWriteFile"), 0);
    EXPECT_EQ(fake.CountOf("FtpFindFirstFile"), 2);
    StreamFeed stopLater({"kept ", "lost"}, 1);
    EXPECT_EQ(Write(stopLater), ApiOk);
    EXPECT_EQ(fake.written, "kept ");
}

TEST_F(WriteAssetTest, WritesThatLoseDataAreFailures) {
    fake.writes = {FakeWrite::All(), FakeWrite::Failure(12030)};
    StreamFeed failing({"a", "b", "c", ""});
    EXPECT_EQ(Write(failing), ApiTransferFailed);
    EXPECT_EQ(fake.written, "a");
    EXPECT_EQ(fake.CountOf("FtpFindFirstFile"), 1);

    fake.writes = {FakeWrite::Partial(2)};
    StreamFeed shortWrite({"abcd", ""});
    EXPECT_EQ(Write(shortWrite), ApiTransferFailed);

    fake.Script("InternetCloseHandle", FakeOutcome::Failure(12003));  // the store was not confirmed
    StreamFeed unconfirmed({"abcd", ""});
    EXPECT_EQ(Write(unconfirmed), ApiTransferFailed);
}

TEST_F(WriteAssetTest, LengthBeyondTheBufferStopsWithoutReadingPastIt) {
    fake.calls.clear();
    StreamFeed overstated({"x", ""});
    overstated.overstatedLength = 262145;
    EXPECT_EQ(Write(overstated), ApiTransferFailed);
    EXPECT_EQ(fake.CountOf("InternetWriteFile"), 0);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(WriteAssetTest, ExhaustedHeapClosesTheRemoteFile) {
    fake.OnCall("InternetWriteFile", 1, [] { throw std::bad_alloc(); });
    StreamFeed feed({"x", ""});
    EXPECT_EQ(Write(feed), ApiOutOfMemory);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(WriteAssetTest, ArgumentsTitleAndOpenFailures) {
    StreamFeed feed({""});
    EXPECT_EQ(WriteAsset(connection + 100, assetSet, 0, &FeedStream, &feed), ApiInvalidArgument);
    EXPECT_EQ(WriteAsset(connection + 100, 0, 1, &FeedStream, &feed), ApiInvalidArgument);
    EXPECT_EQ(WriteAsset(connection + 100, assetSet, 1, nullptr, &feed), ApiInvalidArgument);
    EXPECT_EQ(WriteAsset(connection + 100, assetSet, 1, &FeedStream, &feed), ApiNoSuchConnection);
    EXPECT_EQ(WriteAsset(connection, assetSet + 100, 1, &FeedStream, &feed), ApiInvalidArgument);
    RemoveParameter(assetSet, "Title");
    EXPECT_EQ(Write(feed), ApiParameterNotFound);
    EXPECT_TRUE(fake.calls.empty());

    SetParameter(assetSet, "Title", u"x.bin");
    fake.ScriptFailures("FtpOpenFile", 12003, 1);
    EXPECT_EQ(Write(feed), ApiFailed);
    SetParameter(assetSet, "Title", u"x\r\nDELE y");  // refused by the client, nothing sent
    EXPECT_EQ(Write(feed), ApiFailed);
    EXPECT_EQ(fake.CountOf("FtpFindFirstFile"), 0);
    AbortServer(connection);
    EXPECT_EQ(Write(feed), ApiFailed);
}

using UploadAssetTest = UploadTest;

TEST_F(UploadAssetTest, LocalFileGoesInMegabyteBlocks) {
    const std::string content(2500000, 'u');
    CallbackLog log;
    EXPECT_EQ(Upload(LocalFile(content), &log), ApiOk);
    EXPECT_EQ(fake.written, content);
    EXPECT_EQ(log.counts, (std::vector<uint32_t>{1048576, 1048576, 402848}));
    EXPECT_EQ(log.totalSizes, (std::vector<int64_t>(3, 2500000)));
    EXPECT_EQ(fake.CallsNamed("FtpOpenFile").at(0)->flags, 2u);
    EXPECT_TRUE(ListingReadAfterClose());
    EXPECT_EQ(fake.OpenHandleCount(), 2);
}

TEST_F(UploadAssetTest, EmptyFileAndHostThatStops) {
    CallbackLog log;
    EXPECT_EQ(Upload(LocalFile(""), &log), ApiOk);
    EXPECT_TRUE(log.counts.empty());
    EXPECT_TRUE(ListingReadAfterClose());
    log.answerFalseAt = 0;
    EXPECT_EQ(Upload(LocalFile(std::string(1048577, 'h')), &log), ApiOk);
    EXPECT_EQ(fake.written.size(), 1048576u);
    EXPECT_EQ(fake.CountOf("FtpDeleteFile"), 0);
}

TEST_F(UploadAssetTest, FailedReadsWritesAndStoresAreFailures) {
    const std::u16string path = LocalFile("data");
    fake.writes = {FakeWrite::Failure(12030)};
    EXPECT_EQ(Upload(path, nullptr), ApiTransferFailed);
    EXPECT_TRUE(ListingReadAfterClose());
    fake.writes = {FakeWrite::Partial(1)};
    EXPECT_EQ(Upload(path, nullptr), ApiTransferFailed);
    fake.Script("InternetCloseHandle", FakeOutcome::Failure(12003));
    EXPECT_EQ(Upload(path, nullptr), ApiTransferFailed);
    // A file that opens but cannot be read: its first page is not mapped.
    EXPECT_EQ(Upload(u"/proc/self/mem", nullptr), ApiTransferFailed);
    EXPECT_EQ(fake.CountOf("FtpDeleteFile"), 0);
}

// A connection that went away under the upload, on a connection that
// reconnects: the file goes once more, whole; a refusal does not.
TEST_F(UploadAssetTest, ALostConnectionSendsTheFileAgainWhereTheClientReconnects) {
    const std::u16string path = LocalFile("whole file");
    connection = Open(false, {"ServerReconnect"});
    fake.writes = {FakeWrite::Failure(12030)};
    EXPECT_EQ(Upload(path, nullptr), ApiOk);
    EXPECT_EQ(fake.written, "whole file");
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), 2);
    fake.writes = {FakeWrite::Failure(12003)};
    EXPECT_EQ(Upload(path, nullptr), ApiTransferFailed);
    EXPECT_EQ(fake.CountOf("FtpOpenFile"), 3);
    // Lost after the first block: the host's progress reaches the size once.
    const std::string big(0x180000, 'b');
    fake.writes = {FakeWrite::All(), FakeWrite::Failure(12030)};
    CallbackLog log;
    EXPECT_EQ(Upload(LocalFile(big), &log), ApiOk);
    EXPECT_EQ(std::accumulate(log.counts.begin(), log.counts.end(), uint64_t{0}), big.size());
}

TEST_F(UploadAssetTest, LocalFileThatCannotBeOpenedSendsNothing) {
    fake.calls.clear();
    EXPECT_EQ(Upload(WideFromUtf8((folder_ / "missing.bin").string()), nullptr), ApiFailed);
    EXPECT_EQ(Upload(u"", nullptr), ApiFailed);
    EXPECT_TRUE(fake.calls.empty());  // the remote file was neither created nor emptied
    EXPECT_EQ(UploadAsset(connection + 100, assetSet, nullptr, nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(UploadAsset(connection + 100, 0, u"x", nullptr, nullptr), ApiInvalidArgument);
    EXPECT_EQ(UploadAsset(connection + 100, assetSet, u"x", nullptr, nullptr), ApiNoSuchConnection);
    RemoveParameter(assetSet, "Title");
    EXPECT_EQ(Upload(LocalFile("x"), nullptr), ApiParameterNotFound);
    EXPECT_TRUE(fake.calls.empty());
    SetParameter(assetSet, "Title", u"x.bin");
    AbortServer(connection);
    EXPECT_EQ(Upload(LocalFile("x"), nullptr), ApiFailed);
}

TEST_F(UploadAssetTest, RemoteNameKeepsFoldersOnlyWithAnExtension) {
    const std::u16string longTitle(300, u'n');
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {u"report.txt", "report.txt"},
        {u"media/report.txt", "media/report.txt"},
        {u"media/report", "report"},
        {u"report.", "report"},
        {u".profile", ".profile"},
        {u"C:\\media\\report", "report"},
        {u"v1.2/report", "report"},
        {longTitle, std::string(255, 'n')},
    };
    const std::u16string path = LocalFile("");
    for (const auto &[title, stored] : cases) {
        SetParameter(assetSet, "Title", title.c_str());
        fake.calls.clear();
        EXPECT_EQ(Upload(path, nullptr), ApiOk);
        EXPECT_EQ(fake.CallsNamed("FtpOpenFile").at(0)->texts[0], stored);
    }
}

}  // namespace
}  // namespace sapi::testing
