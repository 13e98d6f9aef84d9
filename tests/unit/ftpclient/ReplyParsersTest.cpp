#include <gtest/gtest.h>

#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/PassiveReply.h"
#include "ftp/protocol/QuotedPath.h"
#include "ftp/protocol/ReplyReader.h"
#include "ftp/protocol/SizeReply.h"
#include "ftp/protocol/DigestChoice.h"
#include "ftp/services/sockets/RunningDigest.h"

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
    EXPECT_FALSE(ParseSizeReply(ReplyOf("213 99999999999999999999\r\n")));
    EXPECT_EQ(ParseSizeReply(ReplyOf("213 00000000000000000012\r\n")), 12u);  // twenty digits that fit
    EXPECT_FALSE(ParseSizeReply(ReplyOf("213 000000000000000000012\r\n")));   // twenty-one never do
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

// proftpd's mod_digest: HASH lists SHA-512 and SHA-256, the server's choice is
// SHA-1, so SHA-256 is chosen with OPTS HASH first (as cheap as SHA-1 with
// SHA instructions, half of SHA-512); without HASH, the X commands in
// their order; without either, nothing.
TEST(DigestChoice, StrongestOfferedAndTheDigestInTheAnswer) {
    const FeatureSet proftpd = ParseFeatures(ReplyOf(
        "211-Features:\r\n HASH CRC32;MD5;SHA-1*;SHA-256;SHA-512;\r\n XCRC\r\n XMD5\r\n XSHA\r\n XSHA1\r\n"
        " XSHA256\r\n XSHA512\r\n SIZE\r\n211 End\r\n"));
    const std::optional<DigestRequest> hash = ChooseDigest(proftpd);
    ASSERT_TRUE(hash);
    EXPECT_EQ(hash->algorithm, DigestAlgorithm::Sha256);
    EXPECT_EQ(hash->verb, "HASH");
    EXPECT_FALSE(IsCurrentHash(proftpd, DigestAlgorithm::Sha256));
    EXPECT_TRUE(IsCurrentHash(proftpd, DigestAlgorithm::Sha1));
    EXPECT_EQ(ChooseDigest(ParseFeatures(ReplyOf("211-F:\r\n HASH MD5*;SHA-512\r\n211 E\r\n")))->algorithm,
              DigestAlgorithm::Sha512);
    const std::optional<DigestRequest> x = ChooseDigest(ParseFeatures(ReplyOf("211-F:\r\n XMD5\r\n XCRC\r\n211 E\r\n")));
    ASSERT_TRUE(x);
    EXPECT_EQ(x->verb, "XMD5");
    EXPECT_FALSE(ChooseDigest(ParseFeatures(ReplyOf("211-F:\r\n SIZE\r\n211 E\r\n"))));

    const std::string sha256(64, 'a');
    const DigestRequest request{DigestAlgorithm::Sha256, "HASH"};
    EXPECT_EQ(DigestIn(ReplyOf("213-Computing SHA-256 digest\r\n213 SHA-256 0-100000 " + std::string(64, 'A') +
                               " f.bin\r\n"),
                       request),
              sha256);
    // Another algorithm, a short digest, a refusal, a name that looks like one.
    EXPECT_FALSE(DigestIn(ReplyOf("213 SHA-1 0-10 " + std::string(40, 'a') + " f\r\n"), request));
    EXPECT_FALSE(DigestIn(ReplyOf("213 SHA-256 0-10 abc f\r\n"), request));
    EXPECT_FALSE(DigestIn(ReplyOf("550 f: No such file\r\n"), request));
    EXPECT_FALSE(DigestIn(ReplyOf("213 SHA-256 0-10 nothex " + sha256 + "\r\n"), request));
    EXPECT_EQ(DigestIn(ReplyOf("250 1A2B3\r\n"), DigestRequest{DigestAlgorithm::Crc32, "XCRC"}), "0001a2b3");
}

// Known answers: SHA-256 of "abc", CRC32 of "123456789", in pieces.
TEST(DigestChoice, RunningDigestsGiveTheKnownAnswers) {
    sapi::ftpclient::RunningDigest sha(DigestAlgorithm::Sha256);
    sha.Add("a", 1);
    sha.Add("bc", 2);
    EXPECT_EQ(sha.Finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    sapi::ftpclient::RunningDigest crc(DigestAlgorithm::Crc32);
    crc.Add("1234", 4);
    crc.Add("56789", 5);
    EXPECT_EQ(crc.Finish(), "cbf43926");
}

}  // namespace
