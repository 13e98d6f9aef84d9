// UploadAsset and WriteAsset against each real server: what is stored, under
// which name, what the listing shows afterwards, and the ends a host can cause.
#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;
using sapi::test::ReadWholeFile;
using sapi::test::SameFileContents;

const std::string nonAsciiName = "\xC3\xA9t\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt";

class UploadsEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override { sapi::test::WriteWholeFile(root / "precious.txt", "stored earlier"); }

    ServerApiResult Upload(const std::string &localName, TransferLog *log) {
        return api.UploadAsset(connection, assetSet, LocalPath(localName).c_str(),
                               log != nullptr ? &LogProgress : nullptr, log);
    }
    bool Listed(const std::string &name) {
        for (int32_t index = 0;; ++index) {
            char16_t text[300] = {};
            uint32_t length = 300;
            if (api.GetAssetName(connection, index, text, &length) != ApiOk) return false;
            if (Wide(name) == text) return true;
        }
    }
};

TEST_P(UploadsEndToEnd, FilesAndStreamsAreStoredByteForByte) {
    for (uint64_t size : {0ull, 1ull, 65536ull, 2500000ull}) {
        SCOPED_TRACE(size);
        const std::string name = "up-" + std::to_string(size) + ".bin";
        sapi::test::WritePseudoRandomFile(local / name, size, static_cast<uint32_t>(size) + 7);
        SetTitle(name);
        TransferLog progress;
        EXPECT_EQ(Upload(name, &progress), ApiOk);
        EXPECT_TRUE(SameFileContents(local / name, root / name));
        EXPECT_EQ(progress.sum, size);
        for (int64_t total : progress.totalSizes) EXPECT_EQ(total, static_cast<int64_t>(size));
        EXPECT_TRUE(Listed(name));  // the listing was read anew

        const std::string streamed = "stream-" + std::to_string(size) + ".bin";
        SetTitle(streamed);
        StreamSource source{ReadWholeFile(local / name)};
        EXPECT_EQ(api.WriteAsset(connection, assetSet, static_cast<int64_t>(size) + 1, &FeedFromString, &source), ApiOk);
        EXPECT_TRUE(SameFileContents(local / name, root / streamed));
        EXPECT_TRUE(Listed(streamed));
    }
    sapi::test::WriteWholeFile(local / "source.txt", "non-ASCII name");
    SetTitle(nonAsciiName);
    EXPECT_EQ(Upload("source.txt", nullptr), ApiOk);
    EXPECT_EQ(ReadWholeFile(root / nonAsciiName), "non-ASCII name");
}

TEST_P(UploadsEndToEnd, TitleWithoutExtensionLosesItsFolders) {
    fs::create_directories(root / "media");
    server->GiveToServer(root / "media");
    sapi::test::WriteWholeFile(local / "source.txt", "named");
    SetTitle("media/report");
    EXPECT_EQ(Upload("source.txt", nullptr), ApiOk);
    EXPECT_EQ(ReadWholeFile(root / "report"), "named");
    SetTitle("media/report.txt");
    EXPECT_EQ(Upload("source.txt", nullptr), ApiOk);
    EXPECT_EQ(ReadWholeFile(root / "media" / "report.txt"), "named");
}

TEST_P(UploadsEndToEnd, HostThatStopsKeepsWhatWasSent) {
    sapi::test::WritePseudoRandomFile(local / "big.bin", 2500000, 3);
    SetTitle("partial.bin");
    TransferLog stop;
    stop.stopAt = 0;
    EXPECT_EQ(Upload("big.bin", &stop), ApiOk);
    EXPECT_EQ(stop.sum, 1048576u);
    EXPECT_TRUE(fs::exists(root / "partial.bin"));
    EXPECT_LE(fs::file_size(root / "partial.bin"), 2500000u);

    SetTitle("partial-stream.bin");
    StreamSource source{std::string(600000, 's')};
    source.stopAfterBlocks = 1;
    EXPECT_EQ(api.WriteAsset(connection, assetSet, 600000, &FeedFromString, &source), ApiOk);
    EXPECT_LE(fs::file_size(root / "partial-stream.bin"), 262144u);
}

TEST_P(UploadsEndToEnd, MissingLocalFileLeavesTheServerFileAlone) {
    SetTitle("precious.txt");
    EXPECT_EQ(Upload("missing.bin", nullptr), ApiFailed);
    EXPECT_EQ(api.UploadAsset(connection, assetSet, u"", nullptr, nullptr), ApiFailed);
    EXPECT_EQ(ReadWholeFile(root / "precious.txt"), "stored earlier");
    // A title with a line break is refused before anything goes out.
    sapi::test::WriteWholeFile(local / "source.txt", "x");
    SetTitle("x.txt\r\nDELE precious.txt");
    EXPECT_EQ(Upload("source.txt", nullptr), ApiFailed);
    EXPECT_EQ(ReadWholeFile(root / "precious.txt"), "stored earlier");
}

SAPI_ON_EVERY_SERVER(UploadsEndToEnd);

}  // namespace
}  // namespace sapi::e2e
