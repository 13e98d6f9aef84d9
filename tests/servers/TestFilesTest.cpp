// The comparison every transfer test leans on must see a single changed byte and
// a missing last byte, or a corrupted download would pass.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"

namespace sapi::test {
namespace {

TEST(TestFilesTest, ComparisonSeesOneChangedByteAndOneMissingByte) {
    TempDir work;
    const auto original = PseudoRandomBytes((1 << 20) + 7, 42);
    WriteWholeFile(work / "a", original);
    WriteWholeFile(work / "same", original);
    auto changed = original;
    changed.back() = static_cast<char>(changed.back() ^ 1);
    WriteWholeFile(work / "changed", changed);
    WriteWholeFile(work / "short", original.substr(0, original.size() - 1));

    EXPECT_TRUE(SameFileContents(work / "a", work / "same"));
    EXPECT_FALSE(SameFileContents(work / "a", work / "changed"));
    EXPECT_FALSE(SameFileContents(work / "a", work / "short"));
    EXPECT_FALSE(SameFileContents(work / "short", work / "a"));
    EXPECT_FALSE(SameFileContents(work / "a", work / "missing"));
}

TEST(TestFilesTest, PseudoRandomFilesFollowTheirSeedAndSparseFilesTheirSize) {
    TempDir work;
    WritePseudoRandomFile(work / "x", 3000000, 7);
    WritePseudoRandomFile(work / "y", 3000000, 7);
    WritePseudoRandomFile(work / "z", 3000000, 8);
    EXPECT_EQ(std::filesystem::file_size(work / "x"), 3000000u);
    EXPECT_TRUE(SameFileContents(work / "x", work / "y"));
    EXPECT_FALSE(SameFileContents(work / "x", work / "z"));

    MakeSparseFile(work / "big", (5ull << 30) + 3);
    EXPECT_EQ(std::filesystem::file_size(work / "big"), (5ull << 30) + 3);
}

TEST(TestFilesTest, TempDirIsReachableByOtherAccountsAndGoesAway) {
    std::filesystem::path kept;
    {
        TempDir work;
        kept = work.path();
        WriteWholeFile(work / "sub" / "f", "x");
        const auto perms = std::filesystem::status(kept).permissions();
        EXPECT_NE(perms & std::filesystem::perms::others_exec, std::filesystem::perms::none);
    }
    EXPECT_FALSE(std::filesystem::exists(kept));
}

}  // namespace
}  // namespace sapi::test
