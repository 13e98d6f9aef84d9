// Lines exactly as the four servers send them (pyftpdlib, vsftpd, proftpd,
// pure-ftpd), IIS's DOS format, and lines other servers sent (other locales,
// other ls, MLSD without facts).
#include <gtest/gtest.h>

#include <algorithm>

#include "ftp/protocol/DosListParser.h"
#include "ftp/protocol/ListingReader.h"
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/NameList.h"
#include "ftp/protocol/UnixListForms.h"
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

// Every month's name is read, by the fast reader in English (both of ls's
// date forms) and by the reader of the rarer forms in the other languages.
TEST(UnixListParser, EveryMonthIsRead) {
    const char *const english[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "aug", "Sep", "Oct", "NOV", "Dec"};
    const char *const others[] = {"janv.", "Februar", "märz", "abr", "mag", "juin", "juil.", "ago",
                                  "szept", "Okt", "listopad", "Dez"};
    for (int month = 0; month < 12; ++month) {
        const std::string name = std::string("m").append(std::to_string(month + 1));
        const std::string fast = std::string("-rw-r--r-- 1 u g 1 ")
                                     .append(english[month])
                                     .append(month % 2 == 0 ? " 5 10:00 " : " 15  2021 ")
                                     .append(name);
        const auto line = ParseUnixListLine(fast);
        EXPECT_EQ(line ? std::string(line->name) : "(dropped)", name) << english[month];
        const std::string rare = std::string("-rw-r--r-- 1 u g 1 5 ").append(others[month]).append(" 2021 ").append(name);
        const auto other = ParseUnixListLineForms(rare);
        EXPECT_EQ(other ? std::string(other->name) : "(dropped)", name) << others[month];
    }
}

// Single lines as servers sent them, each read as a whole listing of its
// format: the entry it gives, or none ("dropped"). A line that cannot be read
// for sure is dropped: a wrong name would be offered for download.
enum class Kind { File, Folder, Dropped };

struct LineCase {
    ListingFormat format;
    std::string line;
    std::string name;
    Kind kind;
    uint64_t size = 0;
};

void PrintTo(const LineCase &c, std::ostream *out) { *out << c.line; }

const LineCase lineCases[] = {
    // ls under Japanese, Chinese and Korean locales, in UTF-8 and in Shift-JIS
    // ("12月 3日 2003年 試.txt": 年 ends in an ASCII 'N' there).
    {ListingFormat::List, "-rw-r--r--   1 ftp      ftp             0 6月 3日 2003年 試験ファイル.csv",
     "試験ファイル.csv", Kind::File},
    {ListingFormat::List, "drwxr-xr-x   4 root     root         4096 3月 2 15:13 zxbox", "zxbox", Kind::Folder,
     4096},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 12\x8c\x8e 3\x93\xfa 2003\x94N \x8e\x8e.txt", "\x8e\x8e.txt", Kind::File,
     5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 12월  3 00:06 메모.txt", "메모.txt", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 7  6月  3  2003 two words.txt", "two words.txt", Kind::File, 7},
    {ListingFormat::List, "-rw-r--r--   1 u g 3 13月 2 15:13 no month 13", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r--   1 u g 3 3月 32日 2003年 no day 32", "", Kind::Dropped},
    // ISO dates: GNU ls long-iso, a date alone, full-iso with its zone.
    {ListingFormat::List, "-rwxr-xr-x    1 geo      geo           346 2005-04-08 11:22 services.vsp", "services.vsp",
     Kind::File, 346},
    {ListingFormat::List, "drwxr-xr-x 2 u g 6 2005-04-08 dated folder", "dated folder", Kind::Folder, 6},
    {ListingFormat::List, "-rw-r--r-- 1 u g 9 2005-04-08 11:22:33.000000000 +0200 full.txt", "full.txt", Kind::File, 9},
    {ListingFormat::List, "-rw-r--r-- 1 u g 3 2005-13-08 11:22 no month 13", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r-- 1 u g 3 2005-04-08 11:22", "", Kind::Dropped},
    // A date in the name is the name's: the first date after a size is the
    // line's.
    {ListingFormat::List, "-rw-r--r-- 1 u g 3 Dec  7 07:25 report 2024-01-02 10:00.txt", "report 2024-01-02 10:00.txt",
     Kind::File, 3},
    {ListingFormat::List, "-rw-r--r-- 1 u g 3 2024-01-02 10:00 Dec  7 07:25 x", "Dec  7 07:25 x", Kind::File, 3},
    // Columns that move: the link count joined to an ACL mark, owners and
    // groups of several words (cygwin), no owner at all.
    {ListingFormat::List, "drwxr-x---+1464 chrism   chrism     41472 Feb 25 13:17 20090225", "20090225", Kind::Folder,
     41472},
    {ListingFormat::List, "-rwxr-xr-x   1 Some User  Domain Users  1234 Jul 18  2007 setup.exe", "setup.exe", Kind::File,
     1234},
    {ListingFormat::List, "-rw-r--r--   1 Jan 12 users 12 Dec  7 07:25 owner Jan 12", "owner Jan 12", Kind::File, 12},
    // Devices have numbers, no size; 'f' is a plain file.
    {ListingFormat::List, "crw-rw-rw-   1 root     root       1,   3 Jan  1  1970 null", "null", Kind::File},
    {ListingFormat::List, "brw-rw----   1 root     disk       8,0 Mar  4 10:00 sda", "sda", Kind::File},
    {ListingFormat::List, "frw-------   1 user     group         12 Dec  7 07:25 plain", "plain", Kind::File, 12},
    {ListingFormat::List, "-rw-r--r--   1 u g 1,x Dec  7 07:25 no size", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r--   1 u g 3 Dec 32 07:25 no day 32", "", Kind::Dropped},
    // A month in capitals, an hour of one digit; a number alone starts no date.
    {ListingFormat::List, "-rw-r--r--   1 u g 3 DEC  7 7:25 upper", "upper", Kind::File, 3},
    {ListingFormat::List, "-rw-r--r--   1 u g 3 Dec  7 :25 no hour", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 12 07:25 no month", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r--   1 1000 1000 7 2 Dec  7 07:25 size 2", "size 2", Kind::File, 2},
    // vsftpd's numeric owners and groups, before a size and before a device's numbers.
    {ListingFormat::List, "-rw-r--r--    1 1000     1000     5000000000 Dec 08 02:32 entry-0000000.dat",
     "entry-0000000.dat", Kind::File, 5000000000u},
    {ListingFormat::List, "crw-rw-rw-    1 0        0          1,   3 Jan  1  1970 null", "null", Kind::File},
    // The rarer Unix forms: the day first, months in other languages,
    // numeric and year-first dates, a year before the time, sizes with a
    // unit or run into the group, no date at all.
    {ListingFormat::List, "-rw-r--r--   1 u g 1234 26. Juli, 20:10 juli.txt", "juli.txt", Kind::File, 1234},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 29 Jul 02:27 2014 day first", "day first", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 szept 26 10:35 magyar", "magyar", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 01 oct 2004 oct.txt", "oct.txt", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 янв 12  2004 зима", "зима", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 01-jun-99 dmy.txt", "dmy.txt", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 3 29 03:26 numeric", "numeric", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 24-04-2003 17:12 dmy time", "dmy time", Kind::File, 5},
    {ListingFormat::List, "drwxr-xr-x   2 u g 512 09-26 2000 mmdd folder", "mmdd folder", Kind::Folder, 512},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 1999/10/12 slashes", "slashes", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 2004.07.15 dots", "dots", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 2005년  1월  6일 korean.txt", "korean.txt", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 Oct 08, 2002 09:47 comma", "comma", Kind::File, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 33.5k Dec  7 10:00 unit", "unit", Kind::File, 34304},
    {ListingFormat::List, "-rw-r--r--   1 u longgroup123456 Dec  7 10:00 run in", "run in", Kind::File, 123456},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 no date here", "no date here", Kind::File, 5},
    {ListingFormat::List, "drwxr-xr-x   1 u 5 no group", "no group", Kind::Folder, 5},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 Dez 32 10:00 no day 32", "", Kind::Dropped},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 24-13-2003 17:12 no month 13", "", Kind::Dropped},
    // DOS: thousands separators, "10:30 AM", four-digit and ISO dates.
    {ListingFormat::List, "02-11-2021  10:30 AM             1,234 spaced.txt", "spaced.txt", Kind::File, 1234},
    {ListingFormat::List, "02-11-2021  10:30PM          12.345.678 dotted.bin", "dotted.bin", Kind::File, 12345678},
    {ListingFormat::List, "2002-09-02  18:48       <DIR>          iso folder", "iso folder", Kind::Folder},
    {ListingFormat::List, "02-11-2021  10:30PM              1,23 bad group", "", Kind::Dropped},
    // MLSD from drafts before the RFC: a TAB before the name, no last ';'.
    {ListingFormat::Mlsd, "type=file;size=12\ttab.txt", "tab.txt", Kind::File, 12},
    {ListingFormat::Mlsd, "size=0;type=dir;\t tab and blank", " tab and blank", Kind::Folder},
    // The other families, each known by the shape of its lines.
    {ListingFormat::List, "INDEX.HTML;3            4/6       8-JUN-2004 11:55:38  [WEB,OWNER]  (RWED,RWED,RE,)",
     "INDEX.HTML;3", Kind::File, 2048},
    {ListingFormat::List, "LOGS.DIR;1              1/3      12-JAN-2005 09:10     [WEB,OWNER]  (RWE,RWE,RE,E)", "LOGS",
     Kind::Folder},
    {ListingFormat::List, "QSYS           77824 02/23/00 15:09:55 *DIR       QSYS/", "QSYS", Kind::Folder},
    {ListingFormat::List, "PAYROLL                                *MEM       PAYDATA.FILE/JAN2007.MBR", "JAN2007.MBR",
     Kind::File},
    {ListingFormat::List, "JSMITH          2048 15.03.07 10:00:00 *STMF      notes 2007.txt", "notes 2007.txt", Kind::File,
     2048},
    {ListingFormat::List, "+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html", Kind::File, 280},
    // A name is never cut: an arrow in a folder's name, a date in a name read
    // by the rarer forms.
    {ListingFormat::List, "drwxr-xr-x   2 u g 4096 Dec  7 07:25 from -> to", "from -> to", Kind::Folder, 4096},
    {ListingFormat::List, "-rw-r--r--   1 u g 5 29 Jul 02:27 2014 29 Jul 02:27 2014.log", "29 Jul 02:27 2014.log",
     Kind::File, 5},
    {ListingFormat::List, "+i8388621.50690,m824255907,/,\t514", "514", Kind::Folder},
    {ListingFormat::List, "d [RWCEAFMS] admin                     512 Jan 01 12:00 SYSTEM", "SYSTEM", Kind::Folder},
    {ListingFormat::List, "- [R----F--] jsmith                  12345 Feb 03  2004 REPORT 2.TXT", "REPORT 2.TXT",
     Kind::File, 12345},
    {ListingFormat::List, "     0           DIR   05-12-97   14:03  private", "private", Kind::Folder},
    {ListingFormat::List, "73098      A          04-06-97   15:20  README.TXT", "README.TXT", Kind::File, 73098},
    {ListingFormat::List, "PROD02 3390   2004/06/23  2   45  FB      80  6160  PO  SALES.JCL", "SALES.JCL", Kind::Folder},
    {ListingFormat::List, "PROD01 3390   2004/06/23  1   15  FB      80 27920  PS  SALES.Q2.DATA", "SALES.Q2.DATA",
     Kind::File},
    {ListingFormat::List, "BUILD     01.03 2003/11/04 2004/06/23 10:41    52    40     0 OPS1", "BUILD", Kind::File},
    {ListingFormat::List, "PROFILE  EXEC     V         72         23          1 2004-03-11 10:12:33 VMUSER",
     "PROFILE.EXEC", Kind::File, 1656},
    {ListingFormat::List, "REPORTS  DIR      -          -          -          - 2004-03-11 10:12:33 -", "REPORTS",
     Kind::Folder},
    {ListingFormat::List, "ORDERS        101            7504  16-Jan-03 10:23:06 255, 58 \"nnnn\"", "ORDERS", Kind::File,
     7504},
    {ListingFormat::List, "   0.0    04/03/15 1340  d-ewrewr     1A4       320 CMDS", "CMDS", Kind::Folder},
    {ListingFormat::List, "  12.3    04/03/15 1340  ----r-wr     1B8      1024 start up", "start up", Kind::File, 1024},
    // VShell on Windows lists as ls does.
    {ListingFormat::List, "drwx------   1 administrator   Users          0 Nov 13  2007 Program Files", "Program Files",
     Kind::Folder},
    // Lines no parser reads give nothing rather than junk: NLST completes them.
    {ListingFormat::List, "+i8388621.48594,m825718503,r,s280\tno comma", "", Kind::Dropped},
    {ListingFormat::List, "QSYS           77824 02/23/00 15:09:55 *DIR       QSYS/sub/", "", Kind::Dropped},
    // MLSD: no facts and empty values are allowed; a name with '/' is no
    // entry of the folder.
    {ListingFormat::Mlsd, " no facts.txt", "no facts.txt", Kind::File},
    {ListingFormat::Mlsd, "type=dir;size=; empty size", "empty size", Kind::Folder},
    {ListingFormat::Mlsd, "type=;Size=;perm=; empty values", "empty values", Kind::File},
    {ListingFormat::Mlsd, "type=file;size=3; ../up.txt", "", Kind::Dropped},
    {ListingFormat::Mlsd, "type=file;size=3; sub/down.txt", "", Kind::Dropped},
    {ListingFormat::Mlsd, "nofacts", "", Kind::Dropped},
};

class ListingLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ListingLineTest, GivesItsEntryOrNone) {
    const LineCase &c = GetParam();
    std::size_t dropped = 0;
    const CompactListing entries = ParseListing(c.line, c.format, &dropped);
    if (c.kind == Kind::Dropped) {
        EXPECT_EQ(Names(entries), std::vector<std::string>{});
        EXPECT_EQ(dropped, 1u);
        return;
    }
    ASSERT_EQ(Names(entries), std::vector<std::string>{c.name});
    EXPECT_EQ(entries.At(0).isDirectory, c.kind == Kind::Folder);
    EXPECT_EQ(entries.At(0).size, c.size);
}

// "Row7_servicesvsp", "Row10_dropped": the ASCII letters and digits of the name.
std::string RowName(const testing::TestParamInfo<LineCase> &info) {
    std::string name = "Row" + std::to_string(info.index) + "_";
    for (const char c : info.param.kind == Kind::Dropped ? std::string("dropped") : info.param.name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += c;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Lines, ListingLineTest, testing::ValuesIn(lineCases), RowName);

// What NLST gives, as names in the folder it was given.
TEST(NameList, FolderPartsAreCutAndOtherPathsDropped) {
    const std::pair<std::pair<const char *, const char *>, const char *> cases[] = {
        {{"a.txt", ""}, "a.txt"},          {{"./a.txt", ""}, "a.txt"},
        {{"pub/a.txt", "pub"}, "a.txt"},   {{"/pub/a.txt", "/pub/"}, "a.txt"},
        {{"/a.txt", "/"}, "a.txt"},        {{"a b.txt", "pub"}, "a b.txt"},
        {{"pubs/a.txt", "pub"}, nullptr},  {{"other/a.txt", "pub"}, nullptr},
        {{"..", ""}, nullptr},             {{"pub/", "pub"}, nullptr},
    };
    for (const auto &[input, expected] : cases) {
        const auto name = NameInFolder(input.first, input.second);
        EXPECT_EQ(name ? std::string(*name) : "(dropped)", expected ? expected : "(dropped)") << input.first;
    }
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
    std::string firstDropped;  // as a trace shows it
};

const ListingCase listingCases[] = {
    {"UnixWithTotalAndBareLineFeeds", ListingFormat::List,
     "total 8\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 a.txt\r\n"
     "\r\n"
     "drwxr-xr-x   2 root     root         4096 Dec 07 07:25 sub",
     {"a.txt", "sub"}, 0, ""},
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
     {"a.txt", "acl.txt"}, 7, "01-02-24  03:04AM       <DIR>          dos folder"},
    {"DosDecidedByItsFirstEntry", ListingFormat::List,
     "junk before\r\n"
     "01-02-24  03:04AM       <DIR>          sub\r\n"
     "-rw-r--r--   1 root     root           12 Jan 02  2024 unix line\r\n"
     "02-11-2021  10:33PM                  689 iisstart.htm\r\n",
     {"sub", "iisstart.htm"}, 2, "junk before"},
    {"MlsdDropsLinesWithoutFacts", ListingFormat::Mlsd,
     "type=file;size=3; ok.txt\r\n"
     "1 ftp\r\n"
     "123456\r\n"
     "\x01\x02\xff binary; junk\r\n"
     "type=file;size=x; bad size\r\n"
     "type=file;size=3 last fact without its semicolon\r\n"
     "=file; no fact name\r\n"
     "type=dir;UNIX.mode=0755; folder\r\n",
     {"ok.txt", "last fact without its semicolon", "folder"}, 5, "1 ftp"},
    {"MlsdOwnFolderByItsPathIsNoFault", ListingFormat::Mlsd,
     "type=cdir;perm=el; /home/user/pub\r\n"
     "type=pdir; /home/user\r\n"
     "type=file;size=2; a; b=c.txt\r\n"
     "type=file;;size=2; empty fact\r\n"
     "type=file;si ze=2; blank in a fact\r\n",
     {"a; b=c.txt"}, 2, "type=file;;size=2; empty fact"},
    {"VmsHeadersAreNoFault", ListingFormat::List,
     "Directory DISK$USER:[WEB]\r\n\r\n"
     "INDEX.HTML;3            4/6       8-JUN-2004 11:55:38  [WEB,OWNER]  (RWED,RWED,RE,)\r\n"
     "LOGS.DIR;1              1/3      12-JAN-2005 09:10     [WEB,OWNER]  (RWE,RWE,RE,E)\r\n"
     "%RMS-E-PRV, insufficient privilege\r\n\r\n"
     "Total of 2 files, 5/9 blocks.\r\n",
     {"INDEX.HTML;3", "LOGS"}, 1, "%RMS-E-PRV, insufficient privilege"},
    {"VmsNameTooLongForItsColumn", ListingFormat::List,
     "A_NAME_TOO_LONG_FOR_ITS_COLUMN.TXT;12\r\n"
     "                        4/6       8-JUN-2004 11:55:38  [WEB,OWNER]  (RWED,RWED,RE,)\r\n"
     "SHORT.TXT;1             1/3       8-JUN-2004 11:55:38  [WEB,OWNER]  (RWED,RWED,RE,)\r\n"
     "ALONE_AT_THE_END.TXT;1\r\n",
     {"A_NAME_TOO_LONG_FOR_ITS_COLUMN.TXT;12", "SHORT.TXT;1"}, 1, "ALONE_AT_THE_END.TXT;1"},
    {"MvsHeaderIsNoFault", ListingFormat::List,
     "Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname\r\n"
     "PROD01 3390   2004/06/23  1   15  FB      80 27920  PS  SALES.Q2.DATA\r\n"
     "Migrated                                                SALES.OLD\r\n",
     {"SALES.Q2.DATA", "SALES.OLD"}, 0, ""},
    {"TandemHeaderIsNoFault", ListingFormat::List,
     "File         Code             EOF  Last Modification    Owner  RWEP\r\n"
     "ORDERSO         0               0   9-Feb-04 08:01:45 255,  1 \"oooo\"\r\n",
     {"ORDERSO"}, 0, ""},
    {"Os9HeadersAreNoFault", ListingFormat::List,
     " Owner    Last modified  Attributes Sector Bytecount Name\r\n"
     "-------   -------------  ---------- ------ --------- ----\r\n"
     "   0.0    04/03/15 1340  d-ewrewr     1A4       320 CMDS\r\n",
     {"CMDS"}, 0, ""},
    {"CutLastLineStillCounts", ListingFormat::Mlsd, "type=file;size=1; a\r\ntype=file;size=2; b", {"a", "b"}, 0, ""},
    {"OverlongLineDropped", ListingFormat::Mlsd,
     "type=file;size=1; " + std::string(ListingReader::maxLineBytes, 'x') + "\r\ntype=file;size=1; after\r\n",
     {"after"}, 1, "type=file;size=1; " + std::string(ListingReader::excerptBytes - 18, 'x') + "..."},
    {"ControlBytesShownEscaped", ListingFormat::Mlsd, "\x01\x1b[2J \xe6\x97\xa5\r\n", {}, 1,
     "\\x01\\x1B[2J \xe6\x97\xa5"},
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
    const std::size_t whole = std::max<std::size_t>(c.listing.size(), 1);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{4096}, whole}) {
        CompactListing entries;
        ListingReader reader(c.format, entries);
        for (std::size_t at = 0; at < c.listing.size(); at += piece) {
            ASSERT_TRUE(reader.Feed(std::string_view(c.listing).substr(at, piece)));
        }
        ASSERT_TRUE(reader.Finish());
        EXPECT_EQ(Names(entries), c.names) << "pieces of " << piece;
        EXPECT_EQ(reader.DroppedLines(), c.dropped) << "pieces of " << piece;
        EXPECT_EQ(reader.FirstDroppedLine(), c.firstDropped) << "pieces of " << piece;
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
