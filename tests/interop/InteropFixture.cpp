#include "InteropFixture.h"

#include <filesystem>

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::interop {

std::vector<ServerMode> AllServerModes() {
    std::vector<ServerMode> modes;
    for (const auto &kind : test::TestFtpServer::PlainKinds()) {
        modes.push_back({kind, true});
        modes.push_back({kind, false});
    }
    return modes;
}

std::vector<ServerMode> DelayedServerModes() {
    std::vector<ServerMode> modes;
    for (const auto &kind : test::TestFtpServer::Kinds()) modes.push_back({kind, true, 40});
    return modes;
}

std::string ServerModeName(const testing::TestParamInfo<ServerMode> &info) {
    std::string name = info.param.kind + (info.param.passive ? "_passive" : "_active");
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about "_" + std::string.
    if (info.param.roundTripMilliseconds > 0) name.append("_").append(std::to_string(info.param.roundTripMilliseconds)).append("ms");
    return name;
}

void InteropTest::SetUp() {
    // A stalled exchange should fail the test in seconds, not after the
    // shipped client's minute.
    ftpclient::ClientTimeouts timeouts;
    timeouts.connect = timeouts.receive = timeouts.send = ftpclient::Milliseconds(20'000);
    ftpclient::SetTimeoutsForTesting(timeouts);

    std::filesystem::create_directories(root_);
    std::filesystem::create_directories(local());
    Populate();
    test::TestFtpServerOptions options;
    options.address = Address();
    Configure(options);
    server_ = std::make_unique<test::TestFtpServer>(GetParam().kind, root_, test::TestFtpServer::DefaultUser,
                                                    test::TestFtpServer::DefaultPassword, options);
    uint16_t port = server_->port();
    if (GetParam().roundTripMilliseconds > 0) {
        delayLine_ = std::make_unique<DelayLine>(port, GetParam().roundTripMilliseconds);
        port = delayLine_->port();
    }
    ASSERT_TRUE(client_.Connect(Address(), port, server_->user(), server_->password(),
                                GetParam().passive))
        << "error " << client_.LastError() << ": " << client_.LastResponse();
}

void InteropTest::TearDown() {
    client_.Disconnect();
    delayLine_.reset();
    server_.reset();
}

}  // namespace sapi::interop
