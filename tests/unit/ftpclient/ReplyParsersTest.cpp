#include <gtest/gtest.h>

#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/PassiveReply.h"
#include "ftp/protocol/QuotedPath.h"
#include "ftp/protocol/ReplyReader.h"
#include "ftp/protocol/SizeReply.h"

using namespace sapi::ftpclient;

namespace {

FtpReply ReplyOf(const std::string &text) {
    ReplyReader reader;
    reader.Feed(text);
    return reader.Next().value_or(FtpReply{});
}

TEST(PassiveReply, ExtendedPortsAsTheServersSendThem) {
    EXPECT_EQ(ParseExtendedPassivePort("Entering extended passive mode (|||30004|)."), 30004);  // pyftpdlib
    EXPECT_EQ(ParseExtendedPassivePort("Extended Passive mode OK (|||30038|)"), 30038);         // pure-ftpd
    EXPECT_EQ(ParseExtendedPassivePort("Entering Extended Passive Mode (!!!65535!)"), 65535);
    EXPECT_FALSE(ParseExtendedPassivePort("Entering Extended Passive Mode (|||0|)"));
    EXPECT_FALSE(ParseExtendedPassivePort("Entering Extended Passive Mode (|||65536|)"));
    EXPECT_FALSE(ParseExtendedPassivePort("Entering Extended Passive Mode (|||30004)"));
    EXPECT_FALSE(ParseExtendedPassivePort("Entering Extended Passive Mode (|!|30004|)"));
    EXPECT_FALSE(ParseExtendedPassivePort("(||"));
}

TEST(PassiveReply, PassivePortIgnoresTheAddress) {
    EXPECT_EQ(ParsePassivePort("Entering passive mode (127,0,0,1,117,48)."), 117 * 256 + 48);
    EXPECT_EQ(ParsePassivePort("Entering Passive Mode (10,9,8,7,117,85)"), 117 * 256 + 85);
    EXPECT_EQ(ParsePassivePort("Entering Passive Mode 127,0,0,1,1,2"), 258);  // no parentheses
    EXPECT_EQ(ParsePassivePort("Mode 2 (127,0,0,1,0,21)"), 21);  // a lone number before is skipped
    EXPECT_FALSE(ParsePassivePort("Entering Passive Mode (127,0,0,1,256,1)"));
    EXPECT_FALSE(ParsePassivePort("Entering Passive Mode (127,0,0,1,0,0)"));
    EXPECT_FALSE(ParsePassivePort("Entering Passive Mode (127,0,0,1,117)"));
    EXPECT_FALSE(ParsePassivePort("Entering Passive Mode (1270,0,0,1,117,1)"));
}

TEST(QuotedPath, PathsOfTheServersAndDoubledQuotes) {
    EXPECT_EQ(ParseQuotedPath("\"/\" is the current directory."), "/");
    EXPECT_EQ(ParseQuotedPath("\"/list\" is the current directory"), "/list");
    EXPECT_EQ(ParseQuotedPath("\"newdir\" : The directory was successfully created"), "newdir");
    EXPECT_EQ(ParseQuotedPath("\"/a \"\"b\"\"\" is current"), "/a \"b\"");
    EXPECT_EQ(ParseQuotedPath("\"/with space/\"\"\"\"\""), "/with space/\"\"");
    EXPECT_EQ(ParseQuotedPath("\"\""), "");
    EXPECT_FALSE(ParseQuotedPath("/ is the current directory"));
    EXPECT_FALSE(ParseQuotedPath("\"/unterminated"));
    EXPECT_FALSE(ParseQuotedPath("\"/ends in doubled\"\""));
}

TEST(SizeReply, SizesBeyondFourGibibytesAndAnnouncedSizes) {
    EXPECT_EQ(ParseSizeReply(ReplyOf("213 52428800\r\n")), 52428800u);
    EXPECT_EQ(ParseSizeReply(ReplyOf("213 5000000000\r\n")), 5000000000u);
    EXPECT_EQ(ParseSizeReply(ReplyOf("213 18446744073709551615\r\n")), UINT64_MAX);
    EXPECT_FALSE(ParseSizeReply(ReplyOf("213 18446744073709551616\r\n")));
    EXPECT_FALSE(ParseSizeReply(ReplyOf("550 Could not get file size.\r\n")));
    EXPECT_FALSE(ParseSizeReply(ReplyOf("213 12 bytes\r\n")));
    EXPECT_EQ(ParseAnnouncedSize("150 Opening BINARY mode data connection for list/a.txt (12 bytes)."), 12u);
    EXPECT_EQ(ParseAnnouncedSize("150 Opening BINARY mode data connection for (odd) name (6000000000 bytes)"),
              6000000000u);
    EXPECT_FALSE(ParseAnnouncedSize("150 File status okay. About to open data connection."));
    EXPECT_FALSE(ParseAnnouncedSize("150-Accepted data connection\r\n150 51200.0 kbytes to download"));
}

TEST(FeatureSet, FeaturesOfTheFourServers) {
    const FeatureSet pyftpdlib = ParseFeatures(ReplyOf(
        "211-Features supported:\r\n EPRT\r\n EPSV\r\n MDTM\r\n MFMT\r\n"
        " MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;\r\n REST STREAM\r\n SIZE\r\n"
        " TVFS\r\n UTF8\r\n211 End FEAT.\r\n"));
    EXPECT_TRUE(pyftpdlib.known && pyftpdlib.mlsd && pyftpdlib.size && pyftpdlib.utf8);
    const FeatureSet vsftpd = ParseFeatures(
        ReplyOf("211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n PASV\r\n REST STREAM\r\n SIZE\r\n TVFS\r\n211 End\r\n"));
    EXPECT_TRUE(vsftpd.known && vsftpd.size);
    EXPECT_FALSE(vsftpd.mlsd || vsftpd.utf8);
    const FeatureSet pureFtpd = ParseFeatures(ReplyOf("211-Extensions supported:\r\n UTF8\r\n MLSD\r\n211 End.\r\n"));
    EXPECT_TRUE(pureFtpd.mlsd && pureFtpd.utf8);
    EXPECT_FALSE(pureFtpd.size);
    EXPECT_FALSE(ParseFeatures(ReplyOf("500 Unknown command.\r\n")).known);
}

}  // namespace
