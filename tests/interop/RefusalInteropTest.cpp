// What a server refuses must reach the caller as a failure, never as success:
// a store into a folder the server may not write, a retrieval of a folder.
#include <filesystem>

#include "InteropFixture.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

class RefusalInteropTest : public InteropTest {
protected:
    void Populate() override {
        std::filesystem::create_directories(root() / "folder");
        test::WriteWholeFile(root() / "a.txt", "twelve bytes");
    }
    void Configure(test::TestFtpServerOptions &options) override { options.readOnlyFolders = {"readonly"}; }
};

TEST_P(RefusalInteropTest, StoreIntoAFolderTheServerMayNotWriteFails) {
    const bool stored = client().Store("readonly/x.bin", test::PseudoRandomBytes(100000, 4));
    EXPECT_FALSE(stored);
    EXPECT_NE(client().LastError(), wininet::ERROR_SUCCESS);
    EXPECT_EQ(client().LastResponse()[0], '5') << client().LastResponse();
    EXPECT_FALSE(std::filesystem::exists(root() / "readonly" / "x.bin"));
    // And the session is still in step.
    ASSERT_TRUE(client().Command("SIZE a.txt")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 12) << client().LastResponse();
}

TEST_P(RefusalInteropTest, RetrievalOfAFolderFails) {
    const auto bytes = client().Retrieve("folder");
    EXPECT_FALSE(bytes) << "got " << (bytes ? bytes->size() : 0) << " bytes";
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client().LastResponse().substr(0, 3), "550") << client().LastResponse();
    EXPECT_EQ(client().Retrieve("a.txt"), std::optional<std::string>("twelve bytes"));
}

// Two connections to one server, as a host with two servers open holds them:
// a transfer open on one blocks nothing on the other.
TEST_P(RefusalInteropTest, TwoConnectionsWorkSideBySide) {
    InteropClient second;
    ASSERT_TRUE(second.Connect("127.0.0.1", server().port(), server().user(), server().password(),
                               GetParam().passive))
        << second.LastError() << ": " << second.LastResponse();
    ServiceHandle file = client().OpenFile("a.txt", false);
    ASSERT_TRUE(file) << client().LastResponse();
    ASSERT_TRUE(second.Command("SIZE a.txt")) << second.LastError() << ": " << second.LastResponse();
    EXPECT_EQ(SizeInReply(second.LastResponse()), 12) << second.LastResponse();
    EXPECT_TRUE(second.Store("from-second.txt", "second")) << second.LastResponse();
    char buffer[64];
    uint32_t count = 0;
    ASSERT_TRUE(client().services().InternetReadFile(file.get(), buffer, sizeof buffer, &count));
    EXPECT_EQ(std::string(buffer, count), "twelve bytes");
    EXPECT_EQ(test::ReadWholeFile(root() / "from-second.txt"), "second");
}

SAPI_INTEROP_SUITE(RefusalInteropTest);

}  // namespace
}  // namespace sapi::interop
