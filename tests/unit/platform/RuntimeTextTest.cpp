#include "platform/RuntimeText.h"

#include <gtest/gtest.h>

namespace sapi {
namespace {

TEST(WtoiTest, FollowsTheRuntimeRule) {
    EXPECT_EQ(Wtoi(u"21"), 21);
    EXPECT_EQ(Wtoi(u"  \t\r\n\v\f 2121"), 2121);
    EXPECT_EQ(Wtoi(u"+7"), 7);
    EXPECT_EQ(Wtoi(u"-7"), -7);
    EXPECT_EQ(Wtoi(u"12ab34"), 12);
    EXPECT_EQ(Wtoi(u"0x1F"), 0);
    EXPECT_EQ(Wtoi(u""), 0);
    EXPECT_EQ(Wtoi(u"abc"), 0);
    EXPECT_EQ(Wtoi(u"- 5"), 0);
    EXPECT_EQ(Wtoi(u"+-5"), 0);
    EXPECT_EQ(Wtoi(u"\u00a05"), 0);  // only the runtime's ASCII white space is skipped
    EXPECT_EQ(Wtoi(nullptr), 0);
}

TEST(WtoiTest, ClampsInsteadOfOverflowing) {
    EXPECT_EQ(Wtoi(u"2147483647"), 2147483647);
    EXPECT_EQ(Wtoi(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(Wtoi(u"2147483648"), 2147483647);
    EXPECT_EQ(Wtoi(u"-99999999999999999999999"), -2147483647 - 1);
}

TEST(Wtoi64Test, ReadsSizeRepliesAndClamps) {
    EXPECT_EQ(Wtoi64(u"5000000000\r\n"), 5000000000LL);
    EXPECT_EQ(Wtoi64(u" -1"), -1);
    EXPECT_EQ(Wtoi64(u"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(Wtoi64(u"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(Wtoi64(u"123456789012345678901234567890"), INT64_MAX);
    EXPECT_EQ(Wtoi64(u"-123456789012345678901234567890"), INT64_MIN);
    EXPECT_EQ(Wtoi64(u"File not found"), 0);
}

TEST(I64ToWTest, WritesDecimalDigits) {
    EXPECT_EQ(I64ToW(0), u"0");
    EXPECT_EQ(I64ToW(1048576), u"1048576");
    EXPECT_EQ(I64ToW(5368709120LL), u"5368709120");
    EXPECT_EQ(I64ToW(-42), u"-42");
    EXPECT_EQ(I64ToW(INT64_MAX), u"9223372036854775807");
    EXPECT_EQ(I64ToW(INT64_MIN), u"-9223372036854775808");
}

void ExpectSplit(std::u16string_view path, std::u16string_view fileName, std::u16string_view extension) {
    const SplitName split = SplitPath(path);
    EXPECT_EQ(split.fileName, fileName) << "path of " << path.size() << " characters";
    EXPECT_EQ(split.extension, extension) << "path of " << path.size() << " characters";
}

TEST(SplitPathTest, DropsDriveAndDirectory) {
    ExpectSplit(u"report.txt", u"report", u".txt");
    ExpectSplit(u"media/report.txt", u"report", u".txt");
    ExpectSplit(u"C:\\media\\report.txt", u"report", u".txt");
    ExpectSplit(u"C:report", u"report", u"");
    ExpectSplit(u"a/b\\c/report", u"report", u"");
    ExpectSplit(u"media/", u"", u"");
    ExpectSplit(u"", u"", u"");
}

TEST(SplitPathTest, ExtensionIsFromTheLastDotAfterTheDirectory) {
    ExpectSplit(u"archive.tar.gz", u"archive.tar", u".gz");
    ExpectSplit(u"report.", u"report", u".");
    ExpectSplit(u".profile", u"", u".profile");
    ExpectSplit(u"v1.2/report", u"report", u"");
    ExpectSplit(u"x:.", u"", u".");
}

TEST(SplitPathTest, CutsEachPartTo255Characters) {
    const std::u16string longName(300, u'n');
    ExpectSplit(longName, longName.substr(0, 255), u"");
    const std::u16string longExtension = u"." + std::u16string(300, u'e');
    ExpectSplit(u"dir/a" + longExtension, u"a", longExtension.substr(0, 255));
}

}  // namespace
}  // namespace sapi
