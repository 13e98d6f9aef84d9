// Retrievals and stores, byte for byte, and the replies around them.
#include <filesystem>

#include "InteropFixture.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

class TransferInteropTest : public InteropTest {
protected:
    void Populate() override {
        test::WriteWholeFile(root() / "empty.bin", "");
        test::WriteWholeFile(root() / "one.bin", "\xFF");
        test::WriteWholeFile(root() / "mebibyte.bin", test::PseudoRandomBytes(1 << 20, 1));
        // Line ends and a lone CR: an ASCII-mode transfer would change these.
        test::WriteWholeFile(root() / "lines.txt", "a\nb\r\nc\rd\n");
        test::WriteWholeFile(root() / "\xC3\xA9t\xC3\xA9 file.txt", "accented");
    }
};

TEST_P(TransferInteropTest, RetrievesExactBytesOfEverySize) {
    for (const char *name : {"empty.bin", "one.bin", "mebibyte.bin", "lines.txt", "\xC3\xA9t\xC3\xA9 file.txt"}) {
        if (!IsAscii(name) && !TakesNamesBeyondAscii()) continue;
        const auto bytes = client().Retrieve(name);
        ASSERT_TRUE(bytes) << name << ": " << client().LastError() << " " << client().LastResponse();
        EXPECT_TRUE(*bytes == test::ReadWholeFile(root() / name)) << name << ": " << bytes->size() << " bytes";
    }
}

TEST_P(TransferInteropTest, StoresExactBytesOfEverySize) {
    const std::pair<std::string, std::string> uploads[] = {
        {"up-empty.bin", ""},
        {"up-one.bin", "\x00"},
        {"up-lines.txt", "a\nb\r\nc\rd\n"},
        {"up-mebibyte.bin", test::PseudoRandomBytes(1 << 20, 2)},
        {"up \xE6\x97\xA5\xE6\x9C\xAC.bin", "japanese"},
    };
    for (const auto &[name, bytes] : uploads) {
        if (!IsAscii(name) && !TakesNamesBeyondAscii()) continue;
        ASSERT_TRUE(client().Store(name, bytes)) << name << ": " << client().LastError() << " "
                                                 << client().LastResponse();
        ASSERT_TRUE(std::filesystem::exists(root() / name)) << name;
        EXPECT_TRUE(test::ReadWholeFile(root() / name) == bytes) << name;
    }
    // The listing after a store shows the new file at its size.
    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastResponse();
    bool listed = false;
    for (const auto &entry : *entries)
        if (entry.name == "up-mebibyte.bin") listed = entry.size == (1u << 20);
    EXPECT_TRUE(listed);
    // A store over an existing file replaces it.
    ASSERT_TRUE(client().Store("up-mebibyte.bin", "short")) << client().LastResponse();
    EXPECT_EQ(test::ReadWholeFile(root() / "up-mebibyte.bin"), "short");
}

TEST_P(TransferInteropTest, SizeAnswersInTheLastResponse) {
    ASSERT_TRUE(client().Command("SIZE mebibyte.bin")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 1048576) << client().LastResponse();
    if (TakesNamesBeyondAscii()) {
        ASSERT_TRUE(client().Command("SIZE \xC3\xA9t\xC3\xA9 file.txt")) << client().LastResponse();
        EXPECT_EQ(SizeInReply(client().LastResponse()), 8) << client().LastResponse();
    }
    ASSERT_TRUE(client().Command("SIZE empty.bin")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 0) << client().LastResponse();

    EXPECT_FALSE(client().Command("SIZE missing.bin"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client().LastResponse().substr(0, 3), "550");
}

TEST_P(TransferInteropTest, ReplyTooLongForTheBufferTellsTheNeededLength) {
    ASSERT_TRUE(client().Command("SIZE mebibyte.bin"));
    const std::string reply = client().LastResponse();
    uint32_t error = 0;
    WideChar small[4] = {};
    uint32_t length = 4;
    EXPECT_FALSE(client().services().InternetGetLastResponseInfo(&error, small, &length));
    EXPECT_EQ(client().services().GetLastError(), wininet::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, reply.size() + 1);
}

TEST_P(TransferInteropTest, OpeningAMissingFileFailsWithTheServersReply) {
    {
        ServiceHandle file = client().OpenFile("missing.bin", false);
        EXPECT_FALSE(file);
        EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
        EXPECT_EQ(client().LastResponse().substr(0, 3), "550") << client().LastResponse();
    }
    // The failed retrieval left nothing half-open: the next ones work.
    EXPECT_EQ(client().Retrieve("one.bin"), std::optional<std::string>("\xFF"));
    EXPECT_TRUE(client().Store("after.bin", "after")) << client().LastResponse();
}

TEST_P(TransferInteropTest, OneTransferAtATime) {
    ServiceHandle file = client().OpenFile("mebibyte.bin", false);
    ASSERT_TRUE(file) << client().LastResponse();
    EXPECT_FALSE(client().OpenFile("one.bin", false));
    EXPECT_EQ(client().LastError(), wininet::ERROR_FTP_TRANSFER_IN_PROGRESS);
    FtpFindData record{};
    EXPECT_EQ(client().services().FtpFindFirstFile(client().connect(), nullptr, &record,
                                                   InteropClient::FindFlags, 1),
              nullptr);
    EXPECT_EQ(client().LastError(), wininet::ERROR_FTP_TRANSFER_IN_PROGRESS);
}

TEST_P(TransferInteropTest, DeletesFilesAndReportsMissingOnes) {
    ASSERT_TRUE(client().Delete("one.bin")) << client().LastResponse();
    EXPECT_FALSE(std::filesystem::exists(root() / "one.bin"));
    EXPECT_FALSE(client().Delete("one.bin"));
    EXPECT_EQ(client().LastError(), wininet::ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_EQ(client().LastResponse().substr(0, 3), "550");
    if (!TakesNamesBeyondAscii()) return;
    ASSERT_TRUE(client().Delete("\xC3\xA9t\xC3\xA9 file.txt")) << client().LastResponse();
    EXPECT_FALSE(std::filesystem::exists(root() / "\xC3\xA9t\xC3\xA9 file.txt"));
}

SAPI_INTEROP_SUITE(TransferInteropTest);

// proftpd with mod_digest: a retrieval and a store, each checked against the
// server's own SHA-256 (chosen with OPTS HASH over its SHA-1), in both modes.
class DigestInteropTest : public InteropTest {
protected:
    void Populate() override { test::WriteWholeFile(root() / "mebibyte.bin", test::PseudoRandomBytes(1 << 20, 3)); }
    void Configure(test::TestFtpServerOptions &options) override { options.digests = true; }
};

std::string Verification(InteropClient &client) {
    WideChar text[256] = {};
    uint32_t length = sizeof text;
    if (!client.services().InternetQueryOption(client.connect(), SAPI_OPTION_FTP_VERIFICATION, text, &length)) return {};
    return Utf8FromWide(WideView(text));
}

TEST_P(DigestInteropTest, ARetrievalAndAStoreAreVerified) {
    InteropClient verifying;
    verifying.beforeConnect = [](FtpClientServices &services, InternetHandle root) {
        const uint32_t required = 2;
        return services.InternetSetOption(root, SAPI_OPTION_FTP_VERIFY_HASH, &required, sizeof required);
    };
    ASSERT_TRUE(verifying.Connect("127.0.0.1", server().port(), server().user(), server().password(), GetParam().passive));
    const auto bytes = verifying.Retrieve("mebibyte.bin");
    ASSERT_TRUE(bytes) << verifying.LastResponse();
    EXPECT_EQ(Verification(verifying), "verified (SHA-256)");
    ASSERT_TRUE(verifying.Store("up.bin", *bytes)) << verifying.LastResponse();
    EXPECT_EQ(Verification(verifying), "verified (SHA-256)");
}

INSTANTIATE_TEST_SUITE_P(Servers, DigestInteropTest,
                         testing::Values(ServerMode{"proftpd", true}, ServerMode{"proftpd", false}), ServerModeName);

}  // namespace
}  // namespace sapi::interop
