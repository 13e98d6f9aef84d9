// OpenServer's TLS keys, on the scripted client: what reaches the client
// services, what a refusal does, and what the host learns of a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <utility>

#include "FakeFtpClientServices.h"
#include "ftp/ActiveFtpClientServices.h"
#include "ftp/ConnectionSlots.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"
#include "parameters/ParameterSlots.h"

namespace sapi::testing {
namespace {

using namespace sapi::wininet;

struct TlsCase {
    const char *name;
    std::vector<std::pair<const char *, const char *>> keys;  // beside the four required ones
    std::vector<uint32_t> options;                             // InternetSetOption calls, in order
    uint32_t modeSent = 0;
};

class OpenServerTlsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = UseFtpClientServices(&fake);
        ASSERT_EQ(CreateParameterSet(&set), ApiOk);
        for (const auto &[key, value] : std::vector<std::pair<const char *, const char *>>{
                 {"ServerPrimaryAddress", "ftp.example"}, {"ServerPrimaryPort", "21"},
                 {"ServerPrimaryLoginName", "user"}, {"ServerPrimaryLoginPassword", "secret"}}) {
            Set(key, value);
        }
    }
    void TearDown() override {
        if (connection != 0) CloseServer(connection);
        DestroyParameterSet(set);
        UseFtpClientServices(previous_);
    }
    void Set(const char *key, const char *value) {
        ASSERT_EQ(SetParameter(set, key, WideFromUtf8(value).c_str()), ApiOk);
    }
    std::optional<std::string> Get(const char *key) {
        ServerApiChar text[512] = {};
        uint32_t length = 512;
        if (GetParameter(set, key, text, &length) != ApiOk) return std::nullopt;
        return Utf8FromWide(text);
    }

    FakeFtpClientServices fake;
    int32_t set = 0;
    int32_t connection = 0;

private:
    FtpClientServices *previous_ = nullptr;
};

void PrintTo(const TlsCase &c, std::ostream *out) { *out << c.name; }

class OpenServerTlsTest : public OpenServerTlsFixture, public ::testing::WithParamInterface<TlsCase> {};

const TlsCase tlsCases[] = {
    {"AbsentMeansClearTextAsBefore", {}, {}},
    {"ZeroIsClearTextAndIgnoresTheRest", {{"ServerUseTLS", "0"}, {"ServerTLSCAFile", "/ca.pem"}}, {}},
    {"ExplicitAlone", {{"ServerUseTLS", "1"}}, {SAPI_OPTION_FTP_TLS_MODE}, 1},
    {"ImplicitWithCaFileAndPin",
     {{"ServerUseTLS", "2"}, {"ServerTLSCAFile", "/ca.pem"}, {"ServerTLSFingerprint", "ab:cd"}},
     {SAPI_OPTION_FTP_TLS_MODE, SAPI_OPTION_FTP_TLS_CA_FILE, SAPI_OPTION_FTP_TLS_FINGERPRINT},
     2},
    {"BlanksAroundTheDigit", {{"ServerUseTLS", " 1 "}}, {SAPI_OPTION_FTP_TLS_MODE}, 1},
    {"BlankIsClearText", {{"ServerUseTLS", " "}}, {}},
};

INSTANTIATE_TEST_SUITE_P(Keys, OpenServerTlsTest, ::testing::ValuesIn(tlsCases),
                         [](const ::testing::TestParamInfo<TlsCase> &parameter) { return std::string(parameter.param.name); });

TEST_P(OpenServerTlsTest, OptionsGoToTheRootHandleBeforeConnecting) {
    for (const auto &[key, value] : GetParam().keys) Set(key, value);
    ASSERT_EQ(OpenServer(set, &connection), ApiOk);
    std::vector<uint32_t> options;
    for (const FakeCall *call : fake.CallsNamed("InternetSetOption")) {
        options.push_back(call->number);
        EXPECT_EQ(call->handle, fake.calls.front().result) << "on the root handle";
        if (call->number == SAPI_OPTION_FTP_TLS_MODE) {
            EXPECT_EQ(call->flags, GetParam().modeSent);
        }
    }
    EXPECT_EQ(options, GetParam().options);
    const auto names = fake.CallNames();
    const auto connect = std::find(names.begin(), names.end(), "InternetConnect");
    EXPECT_EQ(std::find(connect, names.end(), "InternetSetOption"), names.end()) << "all options before the connect";
}

using OpenServerTlsFailureTest = OpenServerTlsFixture;

// WinInet's answer to our options: the open fails before anything is sent.
TEST_F(OpenServerTlsFailureTest, RefusedOptionFailsWithoutConnecting) {
    Set("ServerUseTLS", "1");
    fake.Script("InternetSetOption", FakeOutcome::Failure(ERROR_INTERNET_INVALID_OPTION));
    EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed);
    EXPECT_EQ(fake.CountOf("InternetConnect"), 0);
    EXPECT_EQ(fake.OpenHandleCount(), 0);
}

// A host that wrote anything but 0, 1 or 2 meant something: never clear text.
TEST_F(OpenServerTlsFailureTest, AModeThatIsNoneOfTheThreeFailsBeforeConnecting) {
    for (const char *mode : {"yes", "true", "TLS", "3", "-1", "1x", "01"}) {
        Set("ServerUseTLS", mode);
        EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed) << mode;
        EXPECT_EQ(fake.CountOf("InternetConnect"), 0) << mode;
        EXPECT_EQ(Get("ServerFailure").value_or("").find("ServerUseTLS is \"" + std::string(mode) + "\""), 0u);
    }
}

// "ServerFollowGrowing" is seconds: text that is none fails before anything is
// sent, as a TLS mode does; blank, 0 and the label mean off.
TEST_F(OpenServerTlsFailureTest, AFollowThatIsNoNumberOfSecondsFailsBeforeConnecting) {
    for (const char *seconds : {"yes", "-1", "3601", "99999999999", "5s", "1.5"}) {
        Set("ServerFollowGrowing", seconds);
        EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed) << seconds;
        EXPECT_EQ(fake.CountOf("InternetConnect"), 0) << seconds;
        EXPECT_EQ(Get("ServerFailure").value_or("").find("ServerFollowGrowing is \"" + std::string(seconds) + "\""), 0u);
    }
    for (const char *seconds : {"", " 0 ", "Follow Growing Files (seconds of quiet that end a download, 0 no)"}) {
        Set("ServerFollowGrowing", seconds);
        EXPECT_EQ(OpenServer(set, &connection), ApiOk) << seconds;
        EXPECT_EQ(fake.CountOf("InternetSetOption"), 0) << seconds;
        CloseServer(std::exchange(connection, 0));
    }
}

// The reason of every failed open reaches the host, and no reason outlives
// the open it was written for.
TEST_F(OpenServerTlsFailureTest, EveryFailedOpenLeavesItsReasonAndASuccessClearsIt) {
    Set("ServerUseTLS", "1");
    fake.lastResponse = "the server's certificate has expired\r\nSHA256 Fingerprint=AB:CD";
    fake.Script("InternetConnect", FakeOutcome::Failure(ERROR_INTERNET_SEC_CERT_DATE_INVALID));
    EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed);
    EXPECT_EQ(Get("ServerTLSFailure"), fake.lastResponse);
    EXPECT_EQ(Get("ServerFailure"), "the server's certificate has expired");

    fake.lastResponse = "";
    fake.Script("InternetConnect", FakeOutcome::Failure(ERROR_INTERNET_CANNOT_CONNECT));
    EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed);
    EXPECT_EQ(Get("ServerTLSFailure"), std::nullopt) << "a stale reason must not stand for a new failure";
    EXPECT_EQ(Get("ServerFailure"), "no connection to ftp.example port 21");

    fake.lastResponse = "530 Login incorrect.";
    fake.Script("InternetConnect", FakeOutcome::Failure(ERROR_INTERNET_INCORRECT_PASSWORD));
    EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed);
    EXPECT_EQ(Get("ServerFailure"), "530 Login incorrect.");

    Set("ServerTLSFingerprint", "not a pin");
    fake.Script("InternetSetOption", FakeOutcome::Success());  // the mode; then the pin is refused
    fake.Script("InternetSetOption", FakeOutcome::Failure(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(OpenServer(set, &connection), ApiConnectFailed);
    EXPECT_EQ(Get("ServerFailure"), "the pin is not a SHA-256 fingerprint (64 hex digits)");

    Set("ServerTLSFingerprint", "");
    EXPECT_EQ(OpenServer(set, &connection), ApiOk);
    EXPECT_EQ(Get("ServerFailure"), std::nullopt);
}

}  // namespace
}  // namespace sapi::testing
