// One SIZE per retrieval, as the server's own log shows it: the module's probe
// answers the client's FtpGetFileSize too, and the sizes the host sees are
// still right.
#include <regex>

#include "TransferHost.h"

namespace sapi::e2e {
namespace {

constexpr uint64_t probedSize = 70000;

class SizeProbe : public TransferHost {
protected:
    void PrepareRoot() override { sapi::test::WritePseudoRandomFile(root / "sized.bin", probedSize, 3); }
    sapi::test::TestFtpServerOptions ServerOptions() const override {
        sapi::test::TestFtpServerOptions options;
        options.logCopy = local / "server.log";
        return options;
    }
    // SIZE commands in the log: pyftpdlib "<- SIZE x", vsftpd "FTP command: ..., "SIZE x"".
    int SizeCommandsLogged() {
        server->Stop();
        const std::string log = sapi::test::ReadWholeFile(local / "server.log");
        const std::regex size(R"((<- |")SIZE )");
        return static_cast<int>(std::distance(std::sregex_iterator(log.begin(), log.end(), size), std::sregex_iterator()));
    }
};

TEST_P(SizeProbe, OneSizePerRetrieval) {
    TransferLog down;
    EXPECT_EQ(api.DownloadAsset(connection, u"sized.bin", LocalPath("sized.bin").c_str(), &LogProgress, &down), ApiOk);
    EXPECT_EQ(down.totalSizes.front(), static_cast<int64_t>(probedSize));
    TransferLog read;
    EXPECT_EQ(api.ReadAsset(connection, u"sized.bin", &LogRead, &read), ApiOk);
    EXPECT_EQ(read.totalSizes.front(), static_cast<int64_t>(probedSize));
    EXPECT_EQ(api.GetAssetInfo(connection, u"sized.bin", assetSet), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), std::to_string(probedSize));  // from FtpGetFileSize
    EXPECT_EQ(SizeCommandsLogged(), 3);
}

INSTANTIATE_TEST_SUITE_P(Servers, SizeProbe, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const auto &serverKind) { return serverKind.param; });

}  // namespace
}  // namespace sapi::e2e
