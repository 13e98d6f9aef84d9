// One real server per test, in passive or active mode, with a logged-in client.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "DelayLine.h"
#include "InteropClient.h"
#include "TestFiles.h"
#include "TestFtpServer.h"

namespace sapi::interop {

struct ServerMode {
    std::string kind;
    bool passive = true;
    int roundTripMilliseconds = 0;  // above 0: through a delay line (passive only)
};

// Names the case in test listings: "vsftpd, active".
inline void PrintTo(const ServerMode &mode, std::ostream *out) {
    *out << mode.kind << (mode.passive ? ", passive" : ", active");
    if (mode.roundTripMilliseconds > 0) *out << ", " << mode.roundTripMilliseconds << " ms round trip";
}

std::vector<ServerMode> AllServerModes();
// Passive mode on every server behind a 40 ms round trip.
std::vector<ServerMode> DelayedServerModes();
std::string ServerModeName(const testing::TestParamInfo<ServerMode> &info);

class InteropTest : public testing::TestWithParam<ServerMode> {
protected:
    // Folders and files a test wants on the server are put under root() by
    // Populate, which runs before the server starts.
    virtual void Populate() {}
    // Server options beyond the address, e.g. read-only folders.
    virtual void Configure(test::TestFtpServerOptions &) {}
    // The loopback address the server listens on and the client dials.
    virtual std::string Address() const { return "127.0.0.1"; }

    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path &root() const { return root_; }
    // A folder for the test's local files, beside the served root.
    std::filesystem::path local() const { return work_ / "local"; }
    test::TestFtpServer &server() { return *server_; }
    // Twisted's server reads commands as Latin-1 (and lists names in UTF-8):
    // a name beyond ASCII that a client sends reaches its files as another.
    bool TakesNamesBeyondAscii() const { return GetParam().kind != "twisted"; }
    static bool IsAscii(std::string_view name) {
        for (const char c : name) {
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        }
        return true;
    }
    InteropClient &client() { return client_; }

private:
    test::TempDir work_{"sapi-interop"};
    std::filesystem::path root_ = work_ / "root";
    std::unique_ptr<test::TestFtpServer> server_;
    std::unique_ptr<DelayLine> delayLine_;
    InteropClient client_;
};

#define SAPI_INTEROP_SUITE(fixture)                                                        \
    INSTANTIATE_TEST_SUITE_P(Servers, fixture, testing::ValuesIn(AllServerModes()), \
                             ServerModeName)

}  // namespace sapi::interop
