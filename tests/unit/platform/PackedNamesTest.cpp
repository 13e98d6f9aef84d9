// Listings kept packed: every name comes back exactly, across block ends,
// whatever UTF-16 it holds, and a reader that gives back what it has read
// can still read what lies ahead.
#include <gtest/gtest.h>

#include <string>

#include "platform/PackedStrings.h"
#include "platform/WideNameList.h"

using namespace sapi;

namespace {

// Names of many lengths, enough of them to fill several blocks.
std::string NameAt(std::size_t index) { return std::to_string(index) + std::string(index % 300, 'n'); }

TEST(PackedStrings, NamesComeBackAcrossBlockEnds) {
    PackedStrings<char> names;
    constexpr std::size_t count = 3000;  // some 450 KB: seven blocks
    for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(names.push_back(NameAt(i)));
    ASSERT_TRUE(names.push_back(""));
    ASSERT_TRUE(names.push_back(std::string(PackedStrings<char>::maxLength, 'x')));
    EXPECT_FALSE(names.push_back(std::string(PackedStrings<char>::maxLength + 1, 'x')));
    ASSERT_EQ(names.size(), count + 2);
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(names[i], NameAt(i)) << i;
    EXPECT_EQ(names[count], "");
    EXPECT_EQ(names[count + 1].size(), PackedStrings<char>::maxLength);
    // A block filled to its last character, then an empty string and another.
    PackedStrings<char> full;
    for (const std::string &text : {std::string(PackedStrings<char>::blockUnits - 1, 'x'), std::string("y"),
                                    std::string(), std::string("z")}) {
        ASSERT_TRUE(full.push_back(text));
    }
    EXPECT_EQ(full[0].size(), PackedStrings<char>::blockUnits - 1);
    EXPECT_EQ(full[1], "y");
    EXPECT_EQ(full[2], "");
    EXPECT_EQ(full[3], "z");
}

TEST(PackedStrings, ReleasingWhatWasReadKeepsWhatLiesAhead) {
    PackedStrings<char> names;
    constexpr std::size_t count = 20000;
    for (std::size_t i = 0; i < count; ++i) names.push_back(NameAt(i));
    for (std::size_t i = 0; i < count; ++i) {
        names.ReleaseBefore(i);
        ASSERT_EQ(names[i], NameAt(i)) << i;
    }
    names.clear();
    EXPECT_TRUE(names.empty());
    names.push_back("again");
    EXPECT_EQ(names[0], "again");
}

struct WideCase {
    const char *label;
    std::u16string name;
};

void PrintTo(const WideCase &c, std::ostream *out) { *out << c.label; }

class WideNameListTest : public testing::TestWithParam<WideCase> {};

TEST_P(WideNameListTest, EveryUtf16NameComesBackUnitForUnit) {
    const WideString name(GetParam().name.begin(), GetParam().name.end());
    WideNameList list;
    list.push_back(u"before");
    list.push_back(name);
    list.push_back(u"after");
    EXPECT_EQ(list.ToVector(), (std::vector<WideString>{u"before", name, u"after"}));
}

INSTANTIATE_TEST_SUITE_P(
    Names, WideNameListTest,
    testing::Values(WideCase{"Empty", u""}, WideCase{"Ascii", u"a.txt"}, WideCase{"Latin1", u"caf\u00E9"},
                    WideCase{"LongAscii", u"entry-0000000.dat"}, WideCase{"LatinAfterEight", u"entry-00\u00E9.dat"},
                    WideCase{"CjkAfterEight", u"entry-00\u65E5\u672C.dat"},
                    WideCase{"TwoAndThreeBytes", u"\u07FF\u0800\uFFFF"},
                    WideCase{"SurrogatePair", u"\U0001F600.png"}, WideCase{"LoneHighSurrogate", u"a\xD800z"},
                    WideCase{"LoneLowSurrogate", u"\xDC00"}, WideCase{"Nul", std::u16string(u"a\0b", 3)}),
    [](const auto &testInfo) { return std::string(testInfo.param.label); });

}  // namespace
