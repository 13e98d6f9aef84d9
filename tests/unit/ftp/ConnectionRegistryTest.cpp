// The registry on its own: numbering, lookup after removal, and the unload rule
// that leaves remaining connections alone.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <set>

#include "FakeFtpClientServices.h"
#include "base/HandleNumbers.h"
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
    EXPECT_TRUE(registry.Find(2)->VerifyByRead());
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, false, fake)), 3);
    EXPECT_NE(registry.Remove(2), nullptr);
    EXPECT_NE(registry.Remove(3), nullptr);
}

TEST(ConnectionRegistry, TheWrappingCounterStepsOverZero) {
    FakeFtpClientServices fake;
    ConnectionRegistry registry(-1);
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, false, fake)), -1);
    EXPECT_EQ(registry.Add(std::make_unique<FtpConnection>(nullptr, false, fake)), 1);
    EXPECT_EQ(registry.Find(0), nullptr);
    EXPECT_NE(registry.Remove(-1), nullptr);
    EXPECT_NE(registry.Remove(1), nullptr);
}

// Once the counter has come all the way round, a number still in use is
// stepped over: a live connection is never replaced.
TEST(ConnectionRegistry, FreeNumbersAreNeitherZeroNorInUse) {
    struct Case {
        int32_t candidate;
        std::set<int32_t> inUse;
        int32_t chosen;
    };
    for (const Case &next : {Case{1, {}, 1}, Case{0, {}, 1}, Case{5, {5, 6}, 7}, Case{-1, {-1, 1}, 2},
                             Case{INT32_MAX, {INT32_MAX}, INT32_MIN}}) {
        const auto inUse = [&](int32_t number) { return next.inUse.count(number) > 0; };
        EXPECT_EQ(FreeHandleFrom(next.candidate, inUse), next.chosen) << next.candidate;
    }
}

TEST(ConnectionRegistry, AtUnloadConnectionsAreLetGoWithoutClosing) {
    FakeFtpClientServices fake;
    std::weak_ptr<FtpConnection> left;
    {
        ConnectionRegistry registry;
        auto connection = std::make_shared<FtpConnection>(nullptr, false, fake);
        ASSERT_EQ(connection->Connect(u"h", 21, u"u", u"p", true), ApiOk);
        left = registry.Find(registry.Add(std::move(connection)));
    }
    EXPECT_EQ(fake.CountOf("InternetCloseHandle"), 0);
    EXPECT_EQ(fake.OpenHandleCount(), 2);
    EXPECT_FALSE(left.expired());
}

}  // namespace
}  // namespace sapi::testing
