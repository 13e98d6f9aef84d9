// Whom the client trusts, against pyftpdlib with TLS on each certificate of
// the test set: accepted only as the settings allow, refused with the reason
// and the certificate's fingerprint, and never with the password sent.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "TlsTestSupport.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::interop {
namespace {

using namespace sapi::wininet;

struct TrustCase {
    const char *name;
    const char *certificate;  // what the server shows
    const char *host;         // what the client dials
    bool caFile;              // trust the test CA (else the system's CAs)
    const char *pin;          // "right", "wrong", "last" (right but its last byte) or ""
    uint32_t error;           // 0: accepted
    const char *reason;       // in the response text when refused
};

const TrustCase trustCases[] = {
    {"CaFileAccepted", "server", "127.0.0.1", true, "", 0, ""},
    {"CaFileAcceptedByName", "server", "localhost", true, "", 0, ""},
    {"PrivateCaRefusedBySystemStore", "server", "127.0.0.1", false, "", ERROR_INTERNET_INVALID_CA, "unknown issuer"},
    {"SelfSignedRefusedByDefault", "self", "127.0.0.1", false, "", ERROR_INTERNET_INVALID_CA, "unknown issuer"},
    {"SelfSignedAcceptedWithRightPin", "self", "127.0.0.1", false, "right", 0, ""},
    {"SelfSignedRefusedWithWrongPin", "self", "127.0.0.1", false, "wrong", ERROR_INTERNET_SEC_CERT_ERRORS,
     "fingerprint mismatch"},
    {"SelfSignedRefusedWithLastBytePinChanged", "self", "127.0.0.1", false, "last", ERROR_INTERNET_SEC_CERT_ERRORS,
     "fingerprint mismatch"},
    {"NameMismatchRefused", "wrongname", "127.0.0.1", true, "", ERROR_INTERNET_SEC_CERT_CN_INVALID, "name mismatch"},
    {"NameMismatchRefusedByName", "wrongname", "localhost", true, "", ERROR_INTERNET_SEC_CERT_CN_INVALID,
     "name mismatch"},
    {"ExpiredRefused", "expired", "127.0.0.1", true, "", ERROR_INTERNET_SEC_CERT_DATE_INVALID, "expired"},
};

void PrintTo(const TrustCase &c, std::ostream *out) { *out << c.name; }

class TlsTrustTest : public testing::TestWithParam<TrustCase> {};

TEST_P(TlsTrustTest, TrustFollowsTheSettings) {
    const TrustCase &c = GetParam();
    const TestCertificates &certificates = TestCertificates::Get();
    std::string pin = std::string(c.pin) == "wrong" ? certificates.Fingerprint("server")
                      : std::string(c.pin).empty()  ? ""
                                                    : certificates.Fingerprint(c.certificate);
    if (std::string(c.pin) == "last") pin.back() = pin.back() == '0' ? '1' : '0';
    UseTestTimeouts();
    TlsServer server("pyftpdlib", "explicit", c.certificate);
    InteropClient client;
    UseTls(client, Tls(1, c.caFile ? certificates.caFile().string() : "", pin));
    const bool connected = client.Connect(c.host, server.server->port(), server.server->user(),
                                          server.server->password(), true);
    if (c.error == 0) {
        ASSERT_TRUE(connected) << client.LastError() << ": " << client.LastResponse();
        EXPECT_TRUE(client.List()) << client.LastResponse();
        return;
    }
    EXPECT_FALSE(connected);
    EXPECT_EQ(client.LastError(), c.error) << client.LastResponse();
    EXPECT_NE(client.LastResponse().find(c.reason), std::string::npos) << client.LastResponse();
    EXPECT_NE(client.LastResponse().find("SHA256 Fingerprint=" + certificates.Fingerprint(c.certificate)),
              std::string::npos)
        << client.LastResponse();
}

INSTANTIATE_TEST_SUITE_P(Certificates, TlsTrustTest, testing::ValuesIn(trustCases),
                         [](const testing::TestParamInfo<TrustCase> &parameter) { return std::string(parameter.param.name); });

// The commands the server saw, from pyftpdlib's log ("... <- USER sapiftp").
std::vector<std::string> CommandsSeen(const std::filesystem::path &log) {
    std::vector<std::string> commands;
    std::istringstream lines(test::ReadWholeFile(log));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t arrow = line.find("] <- ");
        if (arrow != std::string::npos) commands.push_back(line.substr(arrow + 5));
    }
    return commands;
}

struct RefusalCase {
    const char *name;
    const char *serverTls;    // "" for a server without TLS
    const char *certificate;
    uint32_t mode;
};

const RefusalCase refusalCases[] = {
    // No AUTH TLS: nothing but AUTH TLS goes out, and no fallback to clear text.
    {"ExplicitAgainstClearServer", "", "", 1},
    // A certificate that fails: nothing after the handshake.
    {"UntrustedCertificate", "explicit", "self", 1},
    // Implicit TLS against a server that greets in clear text.
    {"ImplicitAgainstExplicitServer", "explicit", "server", 2},
};

void PrintTo(const RefusalCase &c, std::ostream *out) { *out << c.name; }

class TlsRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(TlsRefusalTest, NoLoginIsSent) {
    const RefusalCase &c = GetParam();
    UseTestTimeouts();
    const test::TempDir logs("sapi-interop-tls-log");
    {
        TlsServer server("pyftpdlib", c.serverTls, c.certificate, {}, logs / "server.log");
        InteropClient client;
        UseTls(client, Tls(c.mode));
        EXPECT_FALSE(client.Connect("127.0.0.1", server.server->port(), server.server->user(),
                                    server.server->password(), true));
        EXPECT_NE(client.LastError(), 0u);
        server.server->Stop();
    }
    const std::vector<std::string> commands = CommandsSeen(logs / "server.log");
    const std::vector<std::string> expected =
        c.mode == 1 ? std::vector<std::string>{"AUTH TLS"} : std::vector<std::string>{};
    EXPECT_EQ(commands, expected);
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsRefusalTest, testing::ValuesIn(refusalCases),
                         [](const testing::TestParamInfo<RefusalCase> &parameter) { return std::string(parameter.param.name); });

}  // namespace
}  // namespace sapi::interop
