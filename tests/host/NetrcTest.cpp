// ~/.netrc lookups and the module's build line: pure text in, values out.
#include <gtest/gtest.h>

#include "Netrc.h"
#include "Version.h"

namespace sapihost {
namespace {

struct NetrcCase {
    const char *name;
    const char *text;
    const char *host;
    const char *user;
    const char *login;     // nullptr: no login in the entry found
    const char *password;  // nullptr: no entry found, or none in it
};

void PrintTo(const NetrcCase &netrc, std::ostream *out) { *out << netrc.name; }

class HostNetrc : public ::testing::TestWithParam<NetrcCase> {};

TEST_P(HostNetrc, FindsTheEntryFtpWouldUse) {
    const NetrcCase &c = GetParam();
    const auto entry = FindNetrcEntry(c.text, c.host, c.user);
    if (c.password == nullptr && c.login == nullptr) {
        EXPECT_FALSE(entry.has_value());
        return;
    }
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->login.value_or("<none>"), c.login != nullptr ? c.login : "<none>");
    EXPECT_EQ(entry->password.value_or("<none>"), c.password != nullptr ? c.password : "<none>");
}

const NetrcCase kNetrcCases[] = {
    {"MachineOnOneLine", "machine ftp.example.org login alice password s3cret\n", "ftp.example.org", "", "alice",
     "s3cret"},
    {"HostNamesIgnoreCase", "machine FTP.Example.ORG\n  login alice\n  password s3cret\n", "ftp.example.org", "",
     "alice", "s3cret"},
    {"OtherHostNotUsed", "machine other.org login alice password s3cret", "ftp.example.org", "", nullptr, nullptr},
    {"UserPicksTheEntry", "machine h login bob password b\nmachine h login alice password a", "h", "alice", "alice",
     "a"},
    {"EntryWithoutLoginFitsAnyUser", "machine h password p", "h", "carol", nullptr, "p"},
    {"DefaultAfterNoMachine", "machine other login x password y\ndefault login anonymous password me@", "h", "",
     "anonymous", "me@"},
    {"MachineBeatsAnEarlierDefault", "default login d password dp machine h login m password mp", "h", "", "m", "mp"},
    {"DefaultWithOtherLoginDoesNotFit", "default login d password dp", "h", "alice", nullptr, nullptr},
    {"QuotedPasswordWithBlanks", "machine h login a password \"two words \\\" quote\"", "h", "", "a",
     "two words \" quote"},
    {"MacroBodySkipped", "macdef init\nmachine h login evil password evil\n\nmachine h login a password good", "h", "",
     "a", "good"},
    {"AccountSkipped", "machine h login a account acct password p", "h", "", "a", "p"},
    {"LoginWithoutPassword", "machine h login a", "h", "", "a", nullptr},
    {"EmptyFile", "", "h", "", nullptr, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, HostNetrc, ::testing::ValuesIn(kNetrcCases),
                         [](const auto &testInfo) { return std::string(testInfo.param.name); });

TEST(HostVersion, FindsTheModulesBuildLine) {
    using namespace std::string_literals;
    EXPECT_EQ(FindBuildLine("\x7f" "ELF\0\0junk\0@(#)PelkSAPIFTP 1.0.0 (FTP client: WinInet)\0more"s),
              "PelkSAPIFTP 1.0.0 (FTP client: WinInet)");
    EXPECT_EQ(FindBuildLine("@(#)first\n@(#)second"s), "first");
    EXPECT_FALSE(FindBuildLine("no marker here"s).has_value());
    EXPECT_FALSE(FindBuildLine("ends in a bare marker @(#)\0"s).has_value());
}

}  // namespace
}  // namespace sapihost
