// The parts of sapihost that need no module and no server: text conversion,
// result-code names, the progress line, the command line and the names ls
// keeps.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "CommandRunner.h"
#include "HostText.h"
#include "NameList.h"
#include "Progress.h"
#include "ResultCodes.h"
#include "Wildcard.h"

namespace sapihost {
namespace {

TEST(HostText, RoundTripsEveryPlane) {
    const std::string text = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80z";  // a é 日 😀 z
    const HostText wide = ToHostText(text);
    ASSERT_EQ(wide.size(), 6u);  // the emoji is a surrogate pair
    EXPECT_EQ(static_cast<uint16_t>(wide[3]), 0xD83D);
    EXPECT_EQ(static_cast<uint16_t>(wide[4]), 0xDE00);
    EXPECT_EQ(ToUtf8(wide), text);
    // ASCII is copied eight characters at a time, whatever lies after it.
    for (const std::string name : {"entry-0000000.dat", "entry-00\xC3\xA9.dat", "0123456789abcdef\xF0\x9F\x98\x80"}) {
        EXPECT_EQ(ToUtf8(ToHostText(name)), name);
    }
}

TEST(HostText, MalformedInputBecomesReplacementCharacters) {
    const HostText wide = ToHostText("\xC3(\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80");
    EXPECT_EQ(static_cast<uint16_t>(wide[0]), 0xFFFD);  // truncated sequence
    EXPECT_EQ(static_cast<uint16_t>(wide[1]), '(');
    for (size_t i = 2; i < wide.size(); ++i) EXPECT_EQ(static_cast<uint16_t>(wide[i]), 0xFFFD);
    HostText lone{static_cast<ServerApiChar>(0xDC00), static_cast<ServerApiChar>('x'), static_cast<ServerApiChar>(0xD800)};
    EXPECT_EQ(ToUtf8(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(static_cast<const ServerApiChar *>(nullptr)), "");
}

// ls reads each list once into a NameList: a list that came in order stays as
// it came, any other is put in byte order, also after more names came in.
TEST(HostNameList, KeepsAListThatCameInOrderAndSortsAnyOther) {
    const auto all = [](const NameList &names) {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < names.size(); ++i) out.emplace_back(names[i]);
        return out;
    };
    NameList inOrder;
    for (const char *name : {"B", "a", "a", "b"}) inOrder.push_back(name);
    inOrder.Sort();
    EXPECT_EQ(all(inOrder), (std::vector<std::string>{"B", "a", "a", "b"}));
    NameList mixed;
    for (const char *name : {"b", "\xC3\xA9", "a", "B"}) mixed.push_back(name);
    mixed.Sort();
    EXPECT_EQ(all(mixed), (std::vector<std::string>{"B", "a", "b", "\xC3\xA9"}));
    mixed.push_back("0");
    EXPECT_EQ(all(mixed).back(), "0");
    mixed.Sort();
    EXPECT_EQ(all(mixed), (std::vector<std::string>{"0", "B", "a", "b", "\xC3\xA9"}));
    EXPECT_TRUE(mixed.Contains("a"));
    EXPECT_FALSE(mixed.Contains("c"));
    // Names alike for a long start, differing within four bytes after it,
    // after them, or only in length.
    std::vector<std::string> names = {"IMG_0010.jpg", "IMG_0002.jpg", "IMG_001", "IMG_0001.jpg", "IMG_00010.jpg",
                                      "IMG_0001.jpeg", "IMG_0", "IMG_\xC3\xA9", "IMG_0001.jpg"};
    NameList shared;
    for (const std::string &name : names) shared.push_back(name);
    shared.Sort();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(all(shared), names);
}

TEST(HostResultCodes, EveryHeaderCodeHasANameAndASentence) {
    EXPECT_STREQ(ResultName(ApiRemoteOpenFailed), "ApiRemoteOpenFailed");
    EXPECT_STREQ(ResultName(ApiConnectFailed), "ApiConnectFailed");
    EXPECT_STREQ(ResultName(-1), "unknown result");
    EXPECT_STREQ(ResultName(1), "unknown result");
    EXPECT_EQ(DescribeResult(ApiTransferCancelled).rfind("-19 ApiTransferCancelled: ", 0), 0u);
    for (const auto &info : AllResultCodes()) {
        EXPECT_STREQ(ResultName(info.code), info.name);
        EXPECT_EQ(std::string(info.sentence).back(), '.') << info.name;
    }
    EXPECT_EQ(AllResultCodes().size(), 17u);
}

TEST(HostProgress, FormatsSizesRatesAndDurations) {
    EXPECT_EQ(FormatBytes(0), "0 B");
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1536), "1.5 KiB");
    EXPECT_EQ(FormatBytes(3u << 20), "3.0 MiB");
    EXPECT_EQ(FormatBytes(UINT64_MAX), "16384.0 PiB");
    EXPECT_EQ(FormatRate(2048), "2.0 KiB/s");
    EXPECT_EQ(FormatRate(-1), "-- B/s");
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(65.4), "1:05");
    EXPECT_EQ(FormatDuration(3723), "1:02:03");
    EXPECT_EQ(FormatDuration(-1), "--:--");
}

TEST(HostProgress, LineShowsBarPercentRateAndEta) {
    ProgressSnapshot s{"big.bin", 1 << 20, 4 << 20, 1.0, 0.0};
    const std::string line = RenderProgressLine(s, 100);
    EXPECT_NE(line.find("big.bin"), std::string::npos);
    EXPECT_NE(line.find("25%"), std::string::npos);
    EXPECT_NE(line.find("1.0 MiB / 4.0 MiB"), std::string::npos);
    EXPECT_NE(line.find("1.0 MiB/s"), std::string::npos);
    EXPECT_NE(line.find("ETA 0:03"), std::string::npos);
    EXPECT_NE(line.find("[#######"), std::string::npos);
    EXPECT_LE(line.size(), 100u);
}

TEST(HostProgress, LineWhileTheModuleWaitsForMoreData) {
    ProgressSnapshot s{"sample.bin", 3 << 20, 3 << 20, 11.0, 10.0};
    const std::string line = RenderProgressLine(s, 79);
    EXPECT_EQ(line, "sample.bin  [###########] 100%  3.0 MiB / 3.0 MiB  waiting for the server\u2026 0:10");
    s.idle = 1.0;  // not yet: the rate up to the last block, which does not sink while idle
    EXPECT_NE(RenderProgressLine(s, 120).find(" 307.2 KiB/s"), std::string::npos) << RenderProgressLine(s, 120);
    // Following a file that grows: past its first size the wait is for more of it.
    s = {"rec.bin", 4 << 20, 3 << 20, 11.0, 3.0, true};
    EXPECT_EQ(RenderProgressLine(s, 79), "rec.bin  [#############################] 100%  4.0 MiB / 3.0 MiB  growing\u2026 0:03");
    s.done = 1 << 20;
    EXPECT_NE(RenderProgressLine(s, 79).find("waiting for the server"), std::string::npos);
}

TEST(HostProgress, UnknownSizeAndNarrowTerminals) {
    ProgressSnapshot s{"stream", 5000, -1, 2.0, 0};
    const std::string line = RenderProgressLine(s, 80);
    EXPECT_EQ(line.find('%'), std::string::npos);
    EXPECT_EQ(line.find('['), std::string::npos);
    EXPECT_NE(line.find("4.9 KiB"), std::string::npos);
    ProgressSnapshot wide{"\xC3\xA9t\xC3\xA9.bin", 100, 200, 1.0, 0};  // été.bin: 7 characters, 9 bytes
    const std::string cut = RenderProgressLine(wide, 8);
    EXPECT_EQ(cut, "\xC3\xA9t\xC3\xA9.bin ");
    ProgressSnapshot more{"x", 300, 200, 1.0, 0};  // a file that grew while we read it
    EXPECT_NE(RenderProgressLine(more, 80).find("100%"), std::string::npos);
}

std::vector<Command> Split(const std::vector<std::string> &words) {
    std::string error;
    auto commands = SplitCommands(words, error);
    EXPECT_TRUE(commands) << error;
    return commands.value_or(std::vector<Command>{});
}

TEST(HostCommandLine, CommandWordsStartCommands) {
    const auto commands = Split({"ls", "cd", "sub", "get", "a.txt", "pwd"});
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].name, "ls");
    EXPECT_TRUE(commands[0].args.empty());
    EXPECT_EQ(commands[1].args, std::vector<std::string>{"sub"});
    EXPECT_EQ(commands[2].args, std::vector<std::string>{"a.txt"});
}

TEST(HostCommandLine, ExplicitSeparatorsLetArgumentsBeCommandWords) {
    const auto commands = Split({"get", "ls", ";", "cd", "get", "--", "rm", "pwd"});
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0].args, std::vector<std::string>{"ls"});
    EXPECT_EQ(commands[1].args, std::vector<std::string>{"get"});
    EXPECT_EQ(commands[2].args, std::vector<std::string>{"pwd"});
}

TEST(HostCommandLine, ArityAndUnknownCommandsAreUsageErrors) {
    std::string error;
    EXPECT_FALSE(SplitCommands({"get"}, error));
    EXPECT_NE(error.find("get REMOTE"), std::string::npos);
    EXPECT_FALSE(SplitCommands({"frobnicate"}, error));
    EXPECT_NE(error.find("unknown command"), std::string::npos);
    EXPECT_FALSE(SplitCommands({"put", "-"}, error));
    EXPECT_FALSE(SplitCommands({"cd", "a", "b", ";"}, error));
    EXPECT_EQ(Split({"exit"})[0].name, "quit");
    EXPECT_TRUE(Split({}).empty());
    EXPECT_TRUE(Split({";", ";"}).empty());
}

TEST(HostCommandLine, TokenizesShellLines) {
    std::string error;
    auto words = TokenizeLine(R"(get "with space.txt" 'it''s' a\ b;ls  "q\"uote")", error);
    ASSERT_TRUE(words) << error;
    EXPECT_EQ(*words, (std::vector<std::string>{"get", "with space.txt", "its", "a b", ";", "ls", "q\"uote"}));
    words = TokenizeLine(R"(cd "" )", error);
    ASSERT_TRUE(words);
    EXPECT_EQ(*words, (std::vector<std::string>{"cd", ""}));
    EXPECT_FALSE(TokenizeLine("get \"open", error));
    EXPECT_NE(error.find("unterminated"), std::string::npos);
}

TEST(HostCommandLine, OptionsComeBeforeCommands) {
    std::string error;
    auto options = ParseOptions({"--active", "--port=2121", "--user", "bob", "--trace", "ftp://h/", "get", "--trace"},
                                error);
    ASSERT_TRUE(options) << error;
    EXPECT_FALSE(options->passive);
    EXPECT_EQ(options->port, 2121);
    EXPECT_EQ(options->user, "bob");
    EXPECT_TRUE(options->trace);
    EXPECT_EQ(options->url, "ftp://h/");
    EXPECT_EQ(options->commandWords, (std::vector<std::string>{"get", "--trace"}));
    EXPECT_TRUE(ParseOptions({}, error)->passive);
    EXPECT_FALSE(ParseOptions({"--port", "99999"}, error));
    EXPECT_FALSE(ParseOptions({"--bogus"}, error));
    EXPECT_FALSE(ParseOptions({"--module"}, error));
    EXPECT_EQ(ParseOptions({"--", "--weird"}, error)->commandWords, std::vector<std::string>{"--weird"});
}

TEST(HostWildcards, MatchWholeNames) {
    struct Case {
        const char *pattern;
        const char *name;
        bool matches;
    };
    for (const Case &c : std::vector<Case>{{"*.csv", "a.csv", true},
                                           {"*.csv", "a.csv.part", false},
                                           {"*.csv", ".csv", true},
                                           {"f?.csv", "f1.csv", true},
                                           {"f?.csv", "f10.csv", false},
                                           {"*a*b*", "xaxxbx", true},
                                           {"*a*b", "abab", true},
                                           {"*a*b", "abba", false},
                                           {"*", "", true},
                                           {"?", "", false},
                                           {"plain", "plain", true},
                                           {"plain", "plainer", false}}) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " on " << c.name;
    }
}

TEST(HostCommandLine, SeveralNamesOrAWildcardMakeABatch) {
    const auto batch = [](std::vector<std::string> words) { return IsBatchTransfer(Split(std::move(words)).at(0)); };
    EXPECT_FALSE(batch({"get", "a.txt"}));
    EXPECT_FALSE(batch({"get", "a.txt", "local.txt"}));  // the old two-name form
    EXPECT_FALSE(batch({"put", "-", "name"}));
    EXPECT_TRUE(batch({"get", "a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(batch({"get", "*.csv"}));
    EXPECT_TRUE(batch({"mget", "a.txt"}));
    EXPECT_TRUE(batch({"put", "a", "b", "c"}));
    EXPECT_TRUE(batch({"mput", "a"}));
    std::string error;
    EXPECT_FALSE(SplitCommands({"put", "-", "a", "b"}, error));
}

}  // namespace
}  // namespace sapihost
