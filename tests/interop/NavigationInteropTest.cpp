// Folder commands as the navigation code sends them: enter, create, ask where.
#include <chrono>
#include <filesystem>

#include "InteropFixture.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

class NavigationInteropTest : public InteropTest {
protected:
    void Populate() override {
        std::filesystem::create_directories(root() / "list" / "sub");
        test::WriteWholeFile(root() / "list" / "a.txt", "twelve bytes");
    }
};

TEST_P(NavigationInteropTest, EntersFoldersAndReportsWhereItIs) {
    EXPECT_EQ(client().CurrentFolder(), "/");
    ASSERT_TRUE(client().ChangeFolder("list")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/list");
    ASSERT_TRUE(client().ChangeFolder("sub")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/list/sub");
    ASSERT_TRUE(client().ChangeFolder("..")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/list");
    ASSERT_TRUE(client().ChangeFolder("/")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/");
}

// A listing, then a folder change and a store: no port is left asked and
// unused, which Twisted's server would wait 10 s on, holding the CWD, and
// then answer late, the late answer taken for the CWD's.
TEST_P(NavigationInteropTest, AFolderChangeAfterAListingAndAStoreLandWhereAsked) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client().List()) << client().LastResponse();
    ASSERT_TRUE(client().ChangeFolder("list")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/list");
    ASSERT_TRUE(client().Store("hello.txt", "hello")) << client().LastResponse();
    EXPECT_EQ(test::ReadWholeFile(root() / "list" / "hello.txt"), "hello");
    ASSERT_TRUE(client().List()) << client().LastResponse();
    ASSERT_TRUE(client().ChangeFolder("sub")) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/list/sub");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_P(NavigationInteropTest, CreatesFoldersWithAwkwardNamesAndEntersThem) {
    if (!TakesNamesBeyondAscii()) GTEST_SKIP() << "the server reads the name as Latin-1";
    const std::string name = "new folder \xC3\xA9\xE6\x97\xA5";  // "new folder é日"
    ASSERT_TRUE(client().CreateFolder(name)) << client().LastResponse();
    EXPECT_TRUE(std::filesystem::is_directory(root() / name));
    ASSERT_TRUE(client().ChangeFolder(name)) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/" + name);
    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastResponse();
    for (const auto &entry : *entries) EXPECT_TRUE(entry.name == "." || entry.name == "..") << entry.name;
}

TEST_P(NavigationInteropTest, RefusalsCarryTheServersReply) {
    EXPECT_FALSE(client().ChangeFolder("no such folder"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client().LastResponse().substr(0, 3), "550");

    EXPECT_FALSE(client().CreateFolder("list"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client().LastResponse().substr(0, 3), "550");

    EXPECT_FALSE(client().ChangeFolder("list/a.txt"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);

    // Still where it was, and still in step.
    EXPECT_EQ(client().CurrentFolder(), "/");
}

// A folder inside one that is missing: refused, except by Twisted's server,
// whose MKD makes the missing parents too.
TEST_P(NavigationInteropTest, CreatingInsideAMissingFolder) {
    const bool makesParents = GetParam().kind == "twisted";
    EXPECT_EQ(client().CreateFolder("missing/new"), makesParents) << client().LastResponse();
    EXPECT_EQ(std::filesystem::is_directory(root() / "missing" / "new"), makesParents);
    EXPECT_EQ(client().CurrentFolder(), "/");
}

TEST_P(NavigationInteropTest, RefusesLineBreaksInsideAName) {
    // A name with CR LF would smuggle a second command to the server.
    EXPECT_FALSE(client().CreateFolder("evil\r\nDELE list/a.txt"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(client().Command("SIZE x\r\nDELE list/a.txt"));
    EXPECT_TRUE(std::filesystem::exists(root() / "list" / "a.txt"));
    EXPECT_EQ(client().CurrentFolder(), "/");
}

SAPI_INTEROP_SUITE(NavigationInteropTest);

}  // namespace
}  // namespace sapi::interop
