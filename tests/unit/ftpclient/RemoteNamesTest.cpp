// What the host is shown for the bytes a server lists, and the bytes that go
// back when the host names them, alone or inside a path.
#include <gtest/gtest.h>

#include "ftp/services/sockets/RemoteNames.h"

using namespace sapi;
using namespace sapi::ftpclient;

namespace {

struct NameCase {
    const char *label;
    std::string listed;  // bytes from the server
    std::u16string shown;
};

void PrintTo(const NameCase &c, std::ostream *out) { *out << c.label; }

const NameCase nameCases[] = {
    {"Ascii", "a.txt", u"a.txt"},
    {"Utf8", "\xC3\xA9t\xC3\xA9.txt", u"\u00E9t\u00E9.txt"},
    {"Latin1", "caf\xE9.txt", u"caf\u00E9.txt"},
    {"BrokenUtf8", "bad\xC3(\xFF", u"bad\u00C3(\u00FF"},
    {"CutUtf8", "cut\xE6\x97", u"cut\u00E6\u0097"},
    {"PathWithOneLatin1Part", "/ok/\xC3\xA9/caf\xE9", u"/ok/\u00E9/caf\u00E9"},
    // Names are looked at eight bytes at a time, then byte by byte.
    {"LongAscii", "entry-0000000.dat", u"entry-0000000.dat"},
    {"Utf8InSecondEight", "0123456789\xC3\xA9" "bcdefgh", u"0123456789\u00E9bcdefgh"},
    {"Latin1InTheLastBytes", "0123456789abcdef\xE9", u"0123456789abcdef\u00E9"},
};

class RemoteNamesTest : public testing::TestWithParam<NameCase> {};

TEST_P(RemoteNamesTest, ShownReadablyAndSentBackAsListed) {
    const NameCase &c = GetParam();
    RemoteNames names;
    EXPECT_EQ(names.Decode(c.listed), WideString(c.shown.begin(), c.shown.end()));
    EXPECT_EQ(names.Encode(WideString(c.shown.begin(), c.shown.end())), c.listed);
}

INSTANTIATE_TEST_SUITE_P(Names, RemoteNamesTest, testing::ValuesIn(nameCases),
                         [](const auto &testInfo) { return std::string(testInfo.param.label); });

// A name listed on its own goes back as its bytes inside any path the host
// builds with it; names that were never listed go as UTF-8.
TEST(RemoteNames, ListedNamesKeepTheirBytesInsidePaths) {
    RemoteNames names;
    names.Decode("caf\xE9");
    EXPECT_EQ(names.Encode(u"/top/caf\u00E9/a.txt"), "/top/caf\xE9/a.txt");
    EXPECT_EQ(names.Encode(u"caf\u00E9"), "caf\xE9");
    EXPECT_EQ(names.Encode(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(RemoteNames().Encode(u"caf\u00E9"), "caf\xC3\xA9");
}

}  // namespace
