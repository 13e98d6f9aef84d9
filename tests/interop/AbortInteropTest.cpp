// The exchange behind a file's information: SIZE, a retrieval that is closed
// after at most 32 bytes (or before any), then ABOR on the control connection.
// Servers answer that ABOR in four different ways (225, 226, a late 426 + 226,
// or nothing until the next command), and the reply to the next command must
// still be its own.
#include "InteropFixture.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

constexpr uint64_t BigSize = 20u << 20;  // far more than the socket buffers hold

class AbortInteropTest : public InteropTest {
protected:
    void Populate() override {
        test::WriteWholeFile(root() / "a.txt", "twelve bytes");
        test::WritePseudoRandomFile(root() / "big.bin", BigSize, 3);
    }

    // Each SIZE must be answered by its own reply, not by one left over.
    void ExpectRepliesInStep() {
        for (const auto &[name, size] : {std::pair<const char *, int64_t>{"a.txt", 12},
                                         {"big.bin", static_cast<int64_t>(BigSize)},
                                         {"a.txt", 12}}) {
            ASSERT_TRUE(client().Command(std::string("SIZE ") + name))
                << client().LastError() << ": " << client().LastResponse();
            EXPECT_EQ(SizeInReply(client().LastResponse()), size) << client().LastResponse();
        }
        EXPECT_EQ(client().Retrieve("a.txt"), std::optional<std::string>("twelve bytes"));
        EXPECT_TRUE(client().List()) << client().LastResponse();
    }

    // Open, size, read at most `readBytes`, close, ABOR: the connection code's steps.
    void InspectThenAbort(const char *name, uint32_t readBytes, uint64_t expectedSize) {
        ASSERT_TRUE(client().Command(std::string("SIZE ") + name)) << client().LastResponse();
        ServiceHandle file = client().OpenFile(name, false);
        ASSERT_TRUE(file) << client().LastError() << ": " << client().LastResponse();
        uint32_t high = 0;
        const uint32_t low = client().services().FtpGetFileSize(file.get(), &high);
        EXPECT_EQ((static_cast<uint64_t>(high) << 32) | low, expectedSize);
        if (readBytes > 0) {
            char buffer[32] = {};
            uint32_t count = 0;
            EXPECT_TRUE(client().services().InternetReadFile(file.get(), buffer, readBytes, &count));
            EXPECT_GT(count, 0u);
            const std::string original = test::ReadWholeFile(root() / name);
            EXPECT_EQ(std::string(buffer, count), original.substr(0, count));
        }
        EXPECT_TRUE(file.Close()) << "a retrieval closed early is no failure: " << client().LastResponse();
        client().Command("ABOR");  // its outcome is not examined, as in the plug-in
    }
};

TEST_P(AbortInteropTest, RetrievalClosedAfter32BytesThenAbor) {
    InspectThenAbort("big.bin", 32, BigSize);
    ExpectRepliesInStep();
}

TEST_P(AbortInteropTest, RetrievalClosedUnreadThenAbor) {
    InspectThenAbort("big.bin", 0, BigSize);
    ExpectRepliesInStep();
}

TEST_P(AbortInteropTest, SmallFileReadWholeThenAbor) {
    InspectThenAbort("a.txt", 32, 12);
    ExpectRepliesInStep();
}

TEST_P(AbortInteropTest, AborTwiceInARow) {
    InspectThenAbort("big.bin", 32, BigSize);
    client().Command("ABOR");
    ExpectRepliesInStep();
}

// The asset probe's read test, twenty times on one session: the server must
// still be there, in step (inetutils-ftpd died of SIGPIPE when the data
// connection was closed under it before the ABOR).
TEST_P(AbortInteropTest, TwentyReadTestsInARowKeepTheSession) {
    for (int probe = 0; probe < 20; ++probe) {
        SCOPED_TRACE(probe);
        InspectThenAbort("big.bin", 32, BigSize);
    }
    ExpectRepliesInStep();
}

TEST_P(AbortInteropTest, FailedOpensEachFollowedByAbor) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_FALSE(client().OpenFile("missing.bin", false));
        EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
        client().Command("ABOR");
    }
    ExpectRepliesInStep();
}

SAPI_INTEROP_SUITE(AbortInteropTest);
// Late replies as the normal case: each ABOR shape arrives a round trip later.
INSTANTIATE_TEST_SUITE_P(Delayed, AbortInteropTest, testing::ValuesIn(DelayedServerModes()), ServerModeName);

}  // namespace
}  // namespace sapi::interop
