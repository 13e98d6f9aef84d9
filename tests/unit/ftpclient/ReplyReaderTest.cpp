#include <gtest/gtest.h>

#include <string>

#include "ftp/protocol/ReplyReader.h"

using sapi::ftpclient::FtpReply;
using sapi::ftpclient::ReplyReader;

namespace {

TEST(ReplyReader, PureFtpdGreetingIsOneReplyEvenFedByteByByte) {
    const std::string greeting =
        "220---------- Welcome to Pure-FTPd [privsep] [TLS] ----------\r\n"
        "220-You are user number 1 of 50 allowed.\r\n"
        "220-Local time is now 07:25. Server port: 21024.\r\n"
        "220 You will be disconnected after 15 minutes of inactivity.\r\n"
        "331 User test OK. Password required\r\n";
    ReplyReader reader;
    for (char c : greeting) ASSERT_TRUE(reader.Feed(std::string(1, c)));
    FtpReply first = *reader.Next();
    EXPECT_EQ(first.code, 220);
    ASSERT_EQ(first.lines.size(), 4u);
    EXPECT_EQ(first.lines[3], "220 You will be disconnected after 15 minutes of inactivity.");
    EXPECT_EQ(reader.Next()->code, 331);
    EXPECT_FALSE(reader.Next());
}

TEST(ReplyReader, MultiLineReplyEndsOnlyAtItsOwnCodeWithBlank) {
    // Lines inside may start with other codes or with the same code and '-'.
    ReplyReader reader;
    reader.Feed("211-Features:\r\n MLST type*;\r\n200 not the end\r\n211-still not\r\n211 End\r\n");
    const FtpReply reply = *reader.Next();
    EXPECT_EQ(reply.code, 211);
    EXPECT_EQ(reply.lines.size(), 5u);
    EXPECT_EQ(reply.Text(), "211-Features:\r\n MLST type*;\r\n200 not the end\r\n211-still not\r\n211 End");
}

TEST(ReplyReader, BareLineFeedsAndStrayTextAreTolerated) {
    ReplyReader reader;
    reader.Feed("noise before any reply\n200 NOOP ok.\n");
    const FtpReply reply = *reader.Next();
    EXPECT_EQ(reply.code, 200);
    EXPECT_EQ(reply.FirstLineMessage(), "NOOP ok.");
}

TEST(ReplyReader, PartialReplyWaitsForItsEnd) {
    ReplyReader reader;
    reader.Feed("226-File successfully transferred\r\n226 0.000 sec");
    EXPECT_FALSE(reader.HasReply());
    EXPECT_TRUE(reader.MidReply());
    reader.Feed("onds\r\n");
    EXPECT_EQ(reader.Next()->lines.back(), "226 0.000 seconds");
}

TEST(ReplyReader, LimitsAgainstHostileServers) {
    ReplyReader longLine;
    EXPECT_FALSE(longLine.Feed(std::string(ReplyReader::maxLineLength + 1, 'x')));
    EXPECT_TRUE(longLine.Failed());
    EXPECT_FALSE(longLine.Feed("200 ok\r\n"));  // failure is final
    EXPECT_FALSE(longLine.HasReply());

    ReplyReader endless;
    endless.Feed("211-start\r\n");
    bool fed = true;
    for (std::size_t i = 0; fed && i < ReplyReader::maxReplyLines + 1; ++i) fed = endless.Feed(" more\r\n");
    EXPECT_FALSE(fed);

    ReplyReader flood;
    fed = true;
    for (std::size_t i = 0; fed && i < ReplyReader::maxQueuedReplies + 1; ++i) fed = flood.Feed("200 x\r\n");
    EXPECT_FALSE(fed);
}

}  // namespace
