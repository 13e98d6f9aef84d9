// Lines exactly as the four servers send them (pyftpdlib, vsftpd, proftpd,
// pure-ftpd), and IIS's DOS format.
#include <gtest/gtest.h>

#include "ftp/protocol/DosListParser.h"
#include "ftp/protocol/ListingReader.h"
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/UnixListParser.h"

using namespace sapi::ftpclient;
using namespace std::string_literals;

namespace {

std::vector<std::string> Names(const CompactListing &entries) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < entries.Count(); ++i) names.emplace_back(entries.At(i).name);
    return names;
}

TEST(MlsdParser, ProftpdListingWithoutItsOwnFolderEntries) {
    const std::string listing =
        "modify=20261207071825;perm=flcdmpe;type=cdir;unique=FE00UA82134;UNIX.group=2121;UNIX.groupname=test;"
        "UNIX.mode=0755;UNIX.owner=2121;UNIX.ownername=test; .\r\n"
        "modify=20261207071825;perm=flcdmpe;type=dir;unique=FE00UA82145;UNIX.group=2121;UNIX.groupname=test;"
        "UNIX.mode=0755;UNIX.owner=2121;UNIX.ownername=test; sub\r\n"
        "modify=20261207071825;perm=adfrw;size=7;type=file;unique=FE00UA821E8;UNIX.group=2121;"
        "UNIX.groupname=test;UNIX.mode=0644;UNIX.owner=2121;UNIX.ownername=test; \xc3\xa9.txt\r\n"
        "modify=20261207071825;perm=flcdmpe;type=pdir;unique=FE00UA82124;UNIX.group=2121;UNIX.groupname=test;"
        "UNIX.mode=0755;UNIX.owner=2121;UNIX.ownername=test; ..\r\n"
        "modify=20261207071825;perm=adfrw;size=6;type=file;unique=FE00UA821DA;UNIX.group=2121;"
        "UNIX.groupname=test;UNIX.mode=0644;UNIX.owner=2121;UNIX.ownername=test; with space.txt\r\n";
    std::size_t dropped = 99;
    const CompactListing entries = ParseListing(listing, ListingFormat::Mlsd, &dropped);
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"sub", "\xc3\xa9.txt", "with space.txt"}));
    EXPECT_TRUE(entries.At(0).isDirectory);
    EXPECT_FALSE(entries.At(1).isDirectory);
    EXPECT_EQ(entries.At(1).size, 7u);
    EXPECT_EQ(dropped, 0u);  // the folder's own entries are no fault
}

TEST(MlsdParser, PureFtpdFoldersHaveSizdAndNamesKeepTheirBlanks) {
    const auto folder = ParseMlsdLine(
        "type=dir;sizd=4096;modify=20261207072044;UNIX.mode=0755;UNIX.uid=2121;UNIX.gid=2121;unique=fe00ga82153; sub");
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isDirectory);
    EXPECT_EQ(folder->size, 0u);
    EXPECT_FALSE(ParseMlsdLine("type=cdir;sizd=4096;modify=20261207072044;UNIX.mode=0755; ."));
    EXPECT_FALSE(ParseMlsdLine("Type=PDir;sizd=4096; .."));
    EXPECT_EQ(ParseMlsdLine("type=file;size=1;  two leading blanks")->name, " two leading blanks");
    EXPECT_EQ(ParseMlsdLine("size=5000000000;type=file; big.bin")->size, 5000000000u);
    EXPECT_EQ(ParseMlsdLine("type=OS.unix=slink:/etc;size=4; link")->isDirectory, false);
    EXPECT_FALSE(ParseMlsdLine("type=file;size=1;"));   // no name
    EXPECT_FALSE(ParseMlsdLine("type=file;size=1; "));  // empty name
}

TEST(UnixListParser, LinesOfTheFourServers) {
    const auto pyftpdlib = ParseUnixListLine("-rw-r--r--   1 root     root           12 Jan 02  2024 a.txt");
    ASSERT_TRUE(pyftpdlib);
    EXPECT_EQ(pyftpdlib->name, "a.txt");
    EXPECT_EQ(pyftpdlib->size, 12u);
    const auto vsftpd = ParseUnixListLine("drwxr-xr-x    2 1001     1001         4096 Dec 07 07:25 sub");
    ASSERT_TRUE(vsftpd);
    EXPECT_TRUE(vsftpd->isDirectory);
    EXPECT_EQ(vsftpd->name, "sub");
    const auto proftpd = ParseUnixListLine("-rw-r--r--   1 test     test            6 Dec  7 07:25 with space.txt");
    EXPECT_EQ(proftpd->name, "with space.txt");
    const auto pureFtpd =
        ParseUnixListLine("-rw-r--r--    1 2121       2121                7 Dec  7 07:20 \xc3\xa9.txt");
    EXPECT_EQ(pureFtpd->name, "\xc3\xa9.txt");
    EXPECT_EQ(pureFtpd->size, 7u);
}

TEST(UnixListParser, NamesThatLookLikeColumnsAndOddLines) {
    EXPECT_EQ(ParseUnixListLine("-rw-r--r--   1 a b 3 Dec  7 07:25  leading blank")->name, " leading blank");
    EXPECT_EQ(ParseUnixListLine("-rw-r--r--   1 a b 3 Dec  7 07:25 Jan  1  2020 x")->name, "Jan  1  2020 x");
    EXPECT_EQ(ParseUnixListLine("-rw-r--r--   1 a 3 Dec  7  2021 no group")->name, "no group");  // no group column
    EXPECT_EQ(ParseUnixListLine("lrwxrwxrwx   1 a b 4 Dec  7 07:25 link -> target")->name, "link");
    EXPECT_EQ(ParseUnixListLine("-rw-r--r--   1 a b 6000000000 Dec  7 07:25 big")->size, 6000000000u);
    EXPECT_FALSE(ParseUnixListLine("total 12"));
    EXPECT_FALSE(ParseUnixListLine("-rw-r--r--   1 a b 3 Dec  7 07:25"));
    EXPECT_FALSE(ParseUnixListLine("-rw-r--r--   1 a b x Dec  7 07:25 not a size"));
    EXPECT_FALSE(ParseUnixListLine(""));
}

TEST(DosListParser, IisFolderAndFileLines) {
    const auto folder = ParseDosListLine("01-02-24  03:04AM       <DIR>          sub");
    ASSERT_TRUE(folder);
    EXPECT_TRUE(folder->isDirectory);
    EXPECT_EQ(folder->name, "sub");
    const auto file = ParseDosListLine("02-11-2021  10:33PM                  689 iisstart.htm");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 689u);
    EXPECT_EQ(file->name, "iisstart.htm");
    EXPECT_EQ(ParseDosListLine("01-02-24  03:04AM       <DIR>           lead")->name, " lead");
    EXPECT_EQ(ParseDosListLine("01-02-24  15:04                 12  lead file")->name, " lead file");
    EXPECT_FALSE(ParseDosListLine("01-02-24  03:04AM       <DIR>"));
    EXPECT_FALSE(ParseDosListLine("01-02-24  03:04XM   12 x"));
    EXPECT_FALSE(ParseDosListLine("1-2-24  03:04AM   12 x"));
}

// One dialect reads a whole listing: the first entry decides, and lines of
// the other dialect, junk and cut lines are dropped and counted, never turned
// into entries the host would offer to download.
struct ListingCase {
    const char *label;
    ListingFormat format;
    std::string listing;
    std::vector<std::string> names;
    std::size_t dropped;
};

const ListingCase listingCases[] = {
    {"UnixWithTotalAndBareLineFeeds", ListingFormat::List,
     "total 8\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 a.txt\r\n"
     "\r\n"
     "drwxr-xr-x   2 root     root         4096 Dec 07 07:25 sub",
     {"a.txt", "sub"}, 0},
    {"UnixDropsDosLinesAndJunk", ListingFormat::List,
     "-rw-r--r--   1 root     root           12 Jan 02  2024 a.txt\r\n"
     "01-02-24  03:04AM       <DIR>          dos folder\r\n"
     "123456\r\n"
     "garbage line\r\n"
     "-rw-r--r--   1 root     root           12 Jan 02\r\n"
     "-XYZ------   1 root     root           12 Jan 02  2024 bad mode\r\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 nul\0inside\r\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 \r\n"  // one blank, then no name
     "-rw-r--r--+  1 root     root            3 Jan 02  2024 acl.txt\r\n"s,
     {"a.txt", "acl.txt"}, 7},
    {"DosDecidedByItsFirstEntry", ListingFormat::List,
     "junk before\r\n"
     "01-02-24  03:04AM       <DIR>          sub\r\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 unix line\r\n"
     "02-11-2021  10:33PM                  689 iisstart.htm\r\n",
     {"sub", "iisstart.htm"}, 2},
    {"MlsdDropsLinesWithoutFacts", ListingFormat::Mlsd,
     "type=file;size=3; ok.txt\r\n"
     "1 ftp\r\n"
     "123456\r\n"
     "\x01\x02\xff binary; junk\r\n"
     "type=file;size=x; bad size\r\n"
     "type=file;size=3 no semicolon\r\n"
     "=file; no fact name\r\n"
     " no facts at all\r\n"
     "type=dir;UNIX.mode=0755; folder\r\n",
     {"ok.txt", "folder"}, 7},
    {"CutLastLineStillCounts", ListingFormat::Mlsd, "type=file;size=1; a\r\ntype=file;size=2; b", {"a", "b"}, 0},
    {"OverlongLineDropped", ListingFormat::Mlsd,
     "type=file;size=1; " + std::string(ListingReader::maxLineBytes, 'x') + "\r\ntype=file;size=1; after\r\n",
     {"after"}, 1},
};

void PrintTo(const ListingCase &c, std::ostream *out) { *out << c.label; }

class ListingReaderTest : public testing::TestWithParam<ListingCase> {};

TEST_P(ListingReaderTest, KeepsEntriesAndCountsTheRest) {
    const ListingCase &c = GetParam();
    std::size_t dropped = 0;
    EXPECT_EQ(Names(ParseListing(c.listing, c.format, &dropped)), c.names);
    EXPECT_EQ(dropped, c.dropped);
}

// The data connection cuts lines wherever it likes: any piece size gives the
// same listing as the whole.
TEST_P(ListingReaderTest, PiecesOfAnySizeReadAsTheWhole) {
    const ListingCase &c = GetParam();
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}}) {
        CompactListing entries;
        ListingReader reader(c.format, entries);
        for (std::size_t at = 0; at < c.listing.size(); at += piece) {
            ASSERT_TRUE(reader.Feed(std::string_view(c.listing).substr(at, piece)));
        }
        ASSERT_TRUE(reader.Finish());
        EXPECT_EQ(Names(entries), c.names) << "pieces of " << piece;
        EXPECT_EQ(reader.DroppedLines(), c.dropped) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Listings, ListingReaderTest, testing::ValuesIn(listingCases),
                         [](const auto &testInfo) { return std::string(testInfo.param.label); });

TEST(CompactListing, KeepsKindAndSizeBesideEachName) {
    CompactListing listing;
    ASSERT_TRUE(listing.Add({"folder", true, 0}));
    ASSERT_TRUE(listing.Add({"big", false, 6000000000u}));
    ASSERT_TRUE(listing.Add({"huge", false, UINT64_MAX}));
    EXPECT_EQ(Names(listing), (std::vector<std::string>{"folder", "big", "huge"}));
    EXPECT_TRUE(listing.At(0).isDirectory);
    EXPECT_FALSE(listing.At(1).isDirectory);
    EXPECT_EQ(listing.At(1).size, 6000000000u);
    EXPECT_FALSE(listing.At(2).isDirectory);  // a size with the top bit set stays a file
}

}  // namespace
