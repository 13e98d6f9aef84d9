// Sizes that break 32-bit arithmetic and files too big to buffer.
#include <filesystem>

#include "InteropFixture.h"

namespace sapi::interop {
namespace {

constexpr uint64_t HundredMebibytes = 100u << 20;
constexpr uint64_t BeyondFourGibibytes = (5ull << 30) + 3;  // high half 1, low half 1 GiB + 3

class LargeFileInteropTest : public InteropTest {
protected:
    void Populate() override {
        test::WriteWholeFile(root() / "a.txt", "twelve bytes");
        test::MakeSparseFile(root() / "sparse.bin", BeyondFourGibibytes);
    }
};

TEST_P(LargeFileInteropTest, HundredMebibytesEachWayByteForByte) {
    const auto original = local() / "original.bin";
    test::WritePseudoRandomFile(original, HundredMebibytes, 100);
    ASSERT_TRUE(client().StoreFromFile("hundred.bin", original))
        << client().LastError() << ": " << client().LastResponse();
    EXPECT_TRUE(test::SameFileContents(original, root() / "hundred.bin"));

    const auto back = local() / "back.bin";
    ASSERT_TRUE(client().RetrieveToFile("hundred.bin", back))
        << client().LastError() << ": " << client().LastResponse();
    EXPECT_TRUE(test::SameFileContents(original, back));
}

TEST_P(LargeFileInteropTest, SizesBeyondFourGibibytes) {
    ASSERT_TRUE(client().Command("SIZE sparse.bin")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), static_cast<int64_t>(BeyondFourGibibytes));

    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastResponse();
    bool listed = false;
    for (const auto &entry : *entries) {
        if (entry.name != "sparse.bin") continue;
        listed = true;
        EXPECT_EQ(entry.size, BeyondFourGibibytes);
    }
    EXPECT_TRUE(listed);

    {
        ServiceHandle file = client().OpenFile("sparse.bin", false);
        ASSERT_TRUE(file) << client().LastError() << ": " << client().LastResponse();
        uint32_t high = 0;
        const uint32_t low = client().services().FtpGetFileSize(file.get(), &high);
        EXPECT_EQ(high, 1u);
        EXPECT_EQ(low, (1u << 30) + 3);
        char buffer[32];
        uint32_t count = 0;
        EXPECT_TRUE(client().services().InternetReadFile(file.get(), buffer, sizeof buffer, &count));
        EXPECT_GT(count, 0u);
    }
    client().Command("ABOR");
    ASSERT_TRUE(client().Command("SIZE a.txt")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 12) << client().LastResponse();
}

SAPI_INTEROP_SUITE(LargeFileInteropTest);

}  // namespace
}  // namespace sapi::interop
