// The fake stands in for the client services in every connection and transfer
// test, so the rules those tests lean on are checked here once.
#include <gtest/gtest.h>

#include "FakeFtpClientServices.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::testing {
namespace {

using namespace sapi::wininet;

struct Opened {
    InternetHandle internet;
    InternetHandle connect;
};

Opened Open(FakeFtpClientServices &fake) {
    InternetHandle internet = fake.InternetOpen(u"UserAgent", 1, nullptr, nullptr, 0);
    InternetHandle connect = fake.InternetConnect(internet, u"h", 21, u"u", u"p", 1, 0, 7);
    return {internet, connect};
}

TEST(FakeFtpClientServices, TracksClosingOrderAndDoubleCloses) {
    FakeFtpClientServices fake;
    const Opened opened = Open(fake);
    ASSERT_NE(opened.connect, nullptr);
    fake.defaultListing.entries = {FakeFile("a.txt")};
    FtpFindData record;
    InternetHandle find = fake.FtpFindFirstFile(opened.connect, nullptr, &record, 0, 7);
    ASSERT_NE(find, nullptr);

    EXPECT_TRUE(fake.InternetCloseHandle(opened.connect));
    EXPECT_EQ(fake.StateOf(find), FakeFtpClientServices::HandleState::Orphaned);
    EXPECT_FALSE(fake.InternetFindNextFile(find, &record));
    EXPECT_EQ(fake.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(fake.InternetCloseHandle(opened.connect));
    EXPECT_EQ(fake.problems, (std::vector<std::string>{"a parent was closed while a child was open",
                                                       "close of a handle closed before"}));
}

TEST(FakeFtpClientServices, OneTransferAtATimeAndNoLineBreaks) {
    FakeFtpClientServices fake;
    const Opened opened = Open(fake);
    InternetHandle file = fake.FtpOpenFile(opened.connect, u"f", GENERIC_READ, 0, 7);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fake.FtpOpenFile(opened.connect, u"g", GENERIC_READ, 0, 7), nullptr);
    EXPECT_EQ(fake.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    EXPECT_TRUE(fake.InternetCloseHandle(file));
    EXPECT_FALSE(fake.FtpDeleteFile(opened.connect, u"a\r\nDELE b"));
    EXPECT_EQ(fake.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(fake.FtpDeleteFile(opened.connect, u"a"));
    EXPECT_TRUE(fake.problems.empty());
}

TEST(FakeFtpClientServices, ReadsAreCutToTheBufferAndEndWithZero) {
    FakeFtpClientServices fake;
    const Opened opened = Open(fake);
    fake.reads = {FakeRead::Data("abcdef"), FakeRead::Failure(ERROR_INTERNET_CONNECTION_RESET)};
    InternetHandle file = fake.FtpOpenFile(opened.connect, u"f", GENERIC_READ, 0, 7);
    char buffer[4];
    uint32_t count = 99;
    EXPECT_TRUE(fake.InternetReadFile(file, buffer, 4, &count));
    EXPECT_EQ(std::string(buffer, count), "abcd");
    EXPECT_TRUE(fake.InternetReadFile(file, buffer, 4, &count));
    EXPECT_EQ(std::string(buffer, count), "ef");
    EXPECT_FALSE(fake.InternetReadFile(file, buffer, 4, &count));
    EXPECT_EQ(fake.GetLastError(), ERROR_INTERNET_CONNECTION_RESET);
    EXPECT_TRUE(fake.InternetReadFile(file, buffer, 4, &count));
    EXPECT_EQ(count, 0u);
}

TEST(FakeFtpClientServices, HooksRunBeforeTheChosenCall) {
    FakeFtpClientServices fake;
    const Opened opened = Open(fake);
    fake.OnCall("FtpDeleteFile", 2, [&] { fake.InternetCloseHandle(opened.connect); });
    EXPECT_TRUE(fake.FtpDeleteFile(opened.connect, u"a"));
    EXPECT_FALSE(fake.FtpDeleteFile(opened.connect, u"b"));
    EXPECT_EQ(fake.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(fake.CallNames().back(), "FtpDeleteFile");
}

TEST(FakeFtpClientServices, CurrentDirectoryNeedsRoomForTheTerminator) {
    FakeFtpClientServices fake;
    const Opened opened = Open(fake);
    fake.currentDirectory = "/sub";
    WideChar buffer[8] = {u'x', 0};
    uint32_t length = 4;
    EXPECT_FALSE(fake.FtpGetCurrentDirectory(opened.connect, buffer, &length));
    EXPECT_EQ(fake.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], u'x');
    length = 5;
    EXPECT_TRUE(fake.FtpGetCurrentDirectory(opened.connect, buffer, &length));
    EXPECT_EQ(WideString(buffer), u"/sub");
}

}  // namespace
}  // namespace sapi::testing
