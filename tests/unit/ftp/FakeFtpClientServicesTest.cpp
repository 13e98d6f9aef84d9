// The fake stands in for the client services in every connection and transfer
// test. The rules it shares with the real clients are checked by the contract
// suite (tests/contract); what is the fake's alone is checked here.
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

}  // namespace
}  // namespace sapi::testing
