// GetAssetInfo against each real server: sizes, the read test, a file beyond
// 4 GiB, and a file that is not there.
#include "TransferHost.h"

namespace sapi::e2e {
namespace {

class AssetInfoEndToEnd : public TransferHost {
protected:
    void PrepareRoot() override {
        sapi::test::WritePseudoRandomFile(root / "full.bin", 1048576, 1);
        sapi::test::WriteWholeFile(root / "empty.bin", "");
        sapi::test::MakeSparseFile(root / "huge.bin", 5368709120ULL);
    }
    ServerApiResult Info(int32_t handle, const char16_t *name) { return api.GetAssetInfo(handle, name, assetSet); }
};

TEST_P(AssetInfoEndToEnd, SizesAndTheReadTest) {
    EXPECT_EQ(Info(connection, u"full.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "1048576");
    EXPECT_EQ(Parameter("AssetName"), "full.bin");
    EXPECT_EQ(Parameter("Under Construction"), "<absent>");
    EXPECT_EQ(Info(connection, u"huge.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "5368709120");

    const int32_t verifying = Open(true);
    EXPECT_EQ(Info(verifying, u"full.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "1048576");
    EXPECT_EQ(Parameter("Under Construction"), "<absent>");
    EXPECT_EQ(Info(verifying, u"empty.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "0");
    EXPECT_EQ(Parameter("Under Construction"), "1");

    // The connection stays usable after each look: a download follows.
    TransferLog log;
    EXPECT_EQ(api.ReadAsset(verifying, u"full.bin", &LogRead, &log), ApiOk);
    EXPECT_EQ(log.sum, 1048576u);
}

TEST_P(AssetInfoEndToEnd, FileThatIsNotThere) {
    const int32_t verifying = Open(true);
    EXPECT_EQ(Info(verifying, u"missing.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "");
    EXPECT_EQ(Parameter("Under Construction"), "1");
    EXPECT_EQ(Parameter("AssetName"), "missing.bin");
    EXPECT_EQ(Info(verifying, u"full.bin"), ApiOk);
    EXPECT_EQ(Parameter("AssetSize"), "1048576");
}

SAPI_ON_EVERY_SERVER(AssetInfoEndToEnd);

}  // namespace
}  // namespace sapi::e2e
