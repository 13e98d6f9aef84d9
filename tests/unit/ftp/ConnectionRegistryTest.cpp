// The registry on its own: numbering, lookup after removal, and the unload rule
// that leaves remaining connections alone.
#include <gtest/gtest.h>

#include <memory>

#include "FakeFtpClientServices.h"
#include "ftp/ConnectionRegistry.h"

namespace sapi::testing {
namespace {

TEST(ConnectionRegistry, NumbersCountFromOneAndAreNotGivenBack) {
    FakeFtpClientServices fake;
    ConnectionRegistry registry;
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, false, fake)), 1);
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, true, fake)), 2);
    EXPECT_NE(registry.Remove(1), nullptr);
    EXPECT_EQ(registry.Find(1), nullptr);
    EXPECT_EQ(registry.Remove(1), nullptr);
    EXPECT_TRUE(registry.Find(2)->verifyByRead);
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, false, fake)), 3);
    EXPECT_NE(registry.Remove(2), nullptr);
    EXPECT_NE(registry.Remove(3), nullptr);
}

TEST(ConnectionRegistry, AtUnloadConnectionsAreLetGoWithoutClosing) {
    FakeFtpClientServices fake;
    FtpConnection *left = nullptr;
    {
        ConnectionRegistry registry;
        auto connection = std::make_unique<FtpConnection>(nullptr, false, fake);
        ASSERT_EQ(connection->Connect(u"h", 21, u"u", u"p", true), ApiOk);
        left = registry.Find(registry.Add(std::move(connection)));
    }
    EXPECT_EQ(fake.CountOf("InternetCloseHandle"), 0);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
    // Taken back here only so that the test itself leaks nothing.
    std::unique_ptr<FtpConnection> reclaimed(left);
}

}  // namespace
}  // namespace sapi::testing
