// ReadAsset and DownloadAsset against each real server: byte-exact files, the
// progress the host sees, cancelling, and the ways a download cannot start.
#include "TransferHost.h"

namespace sapi::e2e {
namespace {

namespace fs = std::filesystem;
using sapi::test::ReadWholeFile;
using sapi::test::SameFileContents;

const std::vector<uint64_t> sizes = {0, 1, 65536, 2500000};
const std::string nonAsciiName = "Gr\xC3\xBC\xC3\x9F" "e-\xE6\x97\xA5\xE6\x9C\xAC.txt";

std::string SizedName(uint64_t size) { return "file-" + std::to_string(size) + ".bin"; }

class DownloadsEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override {
        for (uint64_t size : sizes) {
            sapi::test::WritePseudoRandomFile(root / SizedName(size), size, static_cast<uint32_t>(size));
        }
        sapi::test::WriteWholeFile(root / "sub" / nonAsciiName, "non-ASCII name");
    }
    ServerApiResult Download(const std::string &remote, const std::string &localName, TransferLog *log) {
        return api.DownloadAsset(connection, Wide(remote).c_str(), LocalPath(localName).c_str(),
                                 log != nullptr ? &LogProgress : nullptr, log);
    }
};

TEST_P(DownloadsEndToEnd, FilesArriveByteForByte) {
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        TransferLog progress;
        const ServerApiResult result = Download(SizedName(size), SizedName(size), &progress);
        if (size == 0) {
            // Nothing arrived, so nothing is left behind.
            EXPECT_EQ(result, ApiTransferFailed);
            EXPECT_FALSE(fs::exists(local / SizedName(size)));
        } else {
            EXPECT_EQ(result, ApiOk);
            EXPECT_TRUE(SameFileContents(root / SizedName(size), local / SizedName(size)));
        }
        EXPECT_EQ(progress.sum, size);
        EXPECT_LE(progress.largest, 65536u);
        for (int64_t total : progress.totalSizes) EXPECT_EQ(total, static_cast<int64_t>(size));

        TransferLog read;
        EXPECT_EQ(api.ReadAsset(connection, Wide(SizedName(size)).c_str(), &LogRead, &read), ApiOk);
        EXPECT_EQ(read.data, ReadWholeFile(root / SizedName(size)));
        EXPECT_LE(read.largest, 262144u);
    }
    EXPECT_EQ(Download("sub/" + nonAsciiName, nonAsciiName, nullptr), ApiOk);
    EXPECT_EQ(ReadWholeFile(local / nonAsciiName), "non-ASCII name");
}

TEST_P(DownloadsEndToEnd, HostThatStopsAndReplacedFiles) {
    sapi::test::WriteWholeFile(local / "kept.bin", "an older file");
    TransferLog cancel;
    cancel.stopAt = 0;
    EXPECT_EQ(Download(SizedName(2500000), "kept.bin", &cancel), ApiTransferCancelled);
    EXPECT_FALSE(fs::exists(local / "kept.bin"));
    TransferLog stop;
    stop.stopAt = 0;
    EXPECT_EQ(api.ReadAsset(connection, Wide(SizedName(2500000)).c_str(), &LogRead, &stop), ApiOk);
    EXPECT_EQ(stop.totalSizes.size(), 1u);
    // The connection is still good for the next transfer.
    EXPECT_EQ(Download(SizedName(65536), "after.bin", nullptr), ApiOk);
    EXPECT_TRUE(SameFileContents(root / SizedName(65536), local / "after.bin"));
}

TEST_P(DownloadsEndToEnd, DownloadsThatCannotStart) {
    TransferLog log;
    EXPECT_EQ(Download("missing.bin", "missing.bin", &log), ApiRemoteOpenFailed);
    EXPECT_EQ(api.ReadAsset(connection, u"missing.bin", &LogRead, &log), ApiRemoteOpenFailed);
    EXPECT_FALSE(fs::exists(local / "missing.bin"));
    EXPECT_EQ(Download(SizedName(1), "no-such-folder/x.bin", &log), ApiFailed);
    // A name with a line break never reaches the server as two commands.
    EXPECT_EQ(Download(SizedName(1) + "\r\nDELE " + SizedName(1), "x.bin", &log), ApiRemoteOpenFailed);
    EXPECT_TRUE(fs::exists(root / SizedName(1)));
    EXPECT_EQ(log.totalSizes.size(), 0u);
    EXPECT_EQ(Download(SizedName(1), "one.bin", nullptr), ApiOk);
}

TEST_P(DownloadsEndToEnd, HostClosingTheConnectionFromItsCallback) {
    TransferLog log;
    log.api = &api;
    log.connection = connection;
    log.reenter = [](const ServerApiFunctions &table, int32_t handle) { table.CloseServer(handle); };
    EXPECT_EQ(Download(SizedName(2500000), "closed.bin", &log), ApiTransferFailed);
    EXPECT_FALSE(fs::exists(local / "closed.bin"));
    EXPECT_EQ(api.ReadAsset(connection, u"x", &LogRead, &log), ApiNoSuchConnection);
    connection = Open();
    EXPECT_EQ(Download(SizedName(65536), "reopened.bin", nullptr), ApiOk);
}

SAPI_ON_EVERY_SERVER(DownloadsEndToEnd);

}  // namespace
}  // namespace sapi::e2e
