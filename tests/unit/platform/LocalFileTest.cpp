#include "platform/LocalFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sapi {
namespace {

namespace fs = std::filesystem;

class LocalFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sapi-localfile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    WideString WidePath(const std::string &utf8Name) const {
        return WideFromUtf8((folder_ / fs::u8path(utf8Name)).string());
    }
    std::string Contents(const std::string &utf8Name) const {
        std::ifstream in(folder_ / fs::u8path(utf8Name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path folder_;
};

TEST_F(LocalFileTest, CreateReplacesAnExistingFileAndWritesEveryByte) {
    std::ofstream(folder_ / "target.bin") << "old contents that are longer";
    LocalFile file = LocalFile::CreateForWriting(WidePath("target.bin"));
    ASSERT_TRUE(file.IsOpen());
    const std::string block(100000, 'x');
    EXPECT_TRUE(file.Write(block.data(), static_cast<uint32_t>(block.size())));
    EXPECT_TRUE(file.Write("tail", 4));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(Contents("target.bin"), block + "tail");
}

TEST_F(LocalFileTest, CreatedFileIsReadableByOthers) {
    const mode_t previous = ::umask(022);
    LocalFile file = LocalFile::CreateForWriting(WidePath("mode.bin"));
    ::umask(previous);
    ASSERT_TRUE(file.IsOpen());
    struct stat status {};
    ASSERT_EQ(::stat((folder_ / "mode.bin").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(LocalFileTest, NonAsciiPathsRoundTripThroughUtf8) {
    const std::string name = "Gr\xC3\xBC\xC3\x9F" "e-\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x93\x81.txt";
    {
        LocalFile file = LocalFile::CreateForWriting(WidePath(name));
        ASSERT_TRUE(file.IsOpen());
        ASSERT_TRUE(file.Write("abc", 3));
    }
    EXPECT_TRUE(fs::exists(folder_ / fs::u8path(name)));
    LocalFile reader = LocalFile::OpenForReading(WidePath(name));
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Size(), 3u);
    EXPECT_TRUE(DeleteLocalFile(WidePath(name)));
    EXPECT_FALSE(fs::exists(folder_ / fs::u8path(name)));
}

TEST_F(LocalFileTest, ReadsInBlocksAndReportsTheEndWithZero) {
    std::ofstream(folder_ / "source.bin", std::ios::binary) << std::string(10, 'q');
    LocalFile file = LocalFile::OpenForReading(WidePath("source.bin"));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 10u);
    std::vector<char> buffer(4);
    uint32_t count = 99;
    std::vector<uint32_t> counts;
    while (file.Read(buffer.data(), 4, &count) && count != 0) {
        counts.push_back(count);
    }
    EXPECT_EQ(counts, (std::vector<uint32_t>{4, 4, 2}));
    EXPECT_EQ(count, 0u);
}

TEST_F(LocalFileTest, OpensThatMustFail) {
    EXPECT_FALSE(LocalFile::OpenForReading(WidePath("missing.bin")).IsOpen());
    EXPECT_FALSE(LocalFile::OpenForReading(WideString()).IsOpen());
    EXPECT_FALSE(LocalFile::OpenForReading(WideFromUtf8(folder_.string())).IsOpen());
    EXPECT_FALSE(LocalFile::CreateForWriting(WidePath("no-such-folder/x.bin")).IsOpen());
    EXPECT_FALSE(LocalFile::CreateForWriting(WideFromUtf8(folder_.string())).IsOpen());
    // A NUL inside the path must not quietly name the file before it.
    std::ofstream(folder_ / "cut") << "keep";
    WideString withNul = WidePath("cut");
    withNul += WideChar{0};
    withNul += SAPI_WIDE("more");
    EXPECT_FALSE(LocalFile::CreateForWriting(withNul).IsOpen());
    EXPECT_FALSE(DeleteLocalFile(withNul));
    EXPECT_EQ(Contents("cut"), "keep");
    EXPECT_FALSE(DeleteLocalFile(WidePath("missing.bin")));
}

TEST_F(LocalFileTest, FailedWriteIsReported) {
    LocalFile full = LocalFile::CreateForWriting(SAPI_WIDE("/dev/full"));
    ASSERT_TRUE(full.IsOpen());
    EXPECT_FALSE(full.Write("x", 1));
    LocalFile closed;
    EXPECT_FALSE(closed.Write("x", 1));
    uint32_t count = 7;
    EXPECT_FALSE(closed.Read(&count, sizeof count, &count));
    EXPECT_EQ(count, 0u);
}

TEST_F(LocalFileTest, MoveTransfersOwnershipAndClosesOnce) {
    LocalFile first = LocalFile::CreateForWriting(WidePath("moved.bin"));
    ASSERT_TRUE(first.IsOpen());
    LocalFile second = std::move(first);
    EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): the moved-from state is the point
    ASSERT_TRUE(second.IsOpen());
    EXPECT_TRUE(second.Write("ok", 2));
    LocalFile third;
    third = std::move(second);
    EXPECT_TRUE(third.Close());
    EXPECT_TRUE(third.Close());  // closing twice is harmless
    EXPECT_EQ(Contents("moved.bin"), "ok");
}

}  // namespace
}  // namespace sapi
