// A connection opened through OpenServer on the scripted client services, with
// every wait recorded instead of slept, and recorders for the host's callbacks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "FakeFtpClientServices.h"
#include "base/ResultCode.h"
#include "ftp/ActiveFtpClientServices.h"
#include "ftp/ConnectionSlots.h"
#include "parameters/ParameterSlots.h"
#include "platform/Sleep.h"

namespace sapi::testing {

inline FakeFtpClientServices *recordingServices = nullptr;
// For each wait: its length and how many client calls had been made before it.
struct RecordedWait {
    uint32_t milliseconds;
    std::size_t callsBefore;
};
inline std::vector<RecordedWait> recordedWaits;

inline void RecordWait(uint32_t milliseconds) {
    recordedWaits.push_back({milliseconds, recordingServices->calls.size()});
}

// What a ReadAsset or progress callback saw, and how it answers.
struct CallbackLog {
    std::vector<uint32_t> counts;
    std::vector<int64_t> totalSizes;
    std::string data;
    std::size_t answerFalseAt = SIZE_MAX;  // 0-based call that returns false
    std::function<void()> during;          // run inside the first call (re-entry)
    bool Record(uint32_t count, int64_t totalSize) {
        counts.push_back(count);
        totalSizes.push_back(totalSize);
        if (during) std::exchange(during, nullptr)();
        return counts.size() - 1 != answerFalseAt;
    }
};

inline bool SERVER_API_CALLBACK RecordRead(void *context, const void *data, uint32_t count, int64_t totalSize) {
    auto *log = static_cast<CallbackLog *>(context);
    log->data.append(static_cast<const char *>(data), count);
    return log->Record(count, totalSize);
}

inline bool SERVER_API_CALLBACK RecordProgress(void *context, uint32_t count, int64_t totalSize) {
    return static_cast<CallbackLog *>(context)->Record(count, totalSize);
}

// Feeds WriteAsset: each entry is one block; a block of "" answers length 0.
struct StreamFeed {
    explicit StreamFeed(std::vector<std::string> feedBlocks, std::size_t falseAt = SIZE_MAX)
        : blocks(std::move(feedBlocks)), answerFalseAt(falseAt) {}
    std::vector<std::string> blocks;
    std::size_t next = 0;
    std::size_t answerFalseAt = SIZE_MAX;
    uint32_t overstatedLength = 0;  // when set, the length reported for every block
    std::function<void()> during;
};

inline bool SERVER_API_CALLBACK FeedStream(void *context, void *buffer, uint32_t *length) {
    auto *feed = static_cast<StreamFeed *>(context);
    EXPECT_EQ(*length, 262144u);
    if (feed->during) std::exchange(feed->during, nullptr)();
    if (feed->next == feed->answerFalseAt || feed->next >= feed->blocks.size()) return false;
    const std::string &block = feed->blocks[feed->next++];
    std::copy(block.begin(), block.end(), static_cast<char *>(buffer));
    *length = feed->overstatedLength != 0 ? feed->overstatedLength : static_cast<uint32_t>(block.size());
    return true;
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        recordingServices = &fake;
        recordedWaits.clear();
        previousSleep_ = SetSleepFunction(&RecordWait);
        previousServices_ = UseFtpClientServices(&fake);
        ASSERT_EQ(CreateParameterSet(&assetSet), ApiOk);
        connection = Open(false);
    }
    void TearDown() override {
        for (int32_t handle : opened_) CloseServer(handle);
        DestroyParameterSet(assetSet);
        UseFtpClientServices(previousServices_);
        SetSleepFunction(previousSleep_);
        recordingServices = nullptr;
    }

    // Opens a connection, with the flags named in `flagsOn` set to "1"; the
    // calls of the login are forgotten.
    int32_t Open(bool verifyByRead, std::initializer_list<const char *> flagsOn = {}) {
        int32_t set = 0;
        EXPECT_EQ(CreateParameterSet(&set), ApiOk);
        SetParameter(set, "ServerPrimaryAddress", u"127.0.0.1");
        SetParameter(set, "ServerPrimaryPort", u"21");
        SetParameter(set, "ServerPrimaryLoginName", u"user");
        SetParameter(set, "ServerPrimaryLoginPassword", u"secret");
        SetParameter(set, "ServerVerifyByRead", verifyByRead ? u"1" : u"0");
        for (const char *flag : flagsOn) SetParameter(set, flag, u"1");
        int32_t handle = 0;
        EXPECT_EQ(OpenServer(set, &handle), ApiOk);
        DestroyParameterSet(set);
        opened_.push_back(handle);
        fake.calls.clear();
        return handle;
    }

    std::u16string Parameter(int32_t set, const char *key) {
        char16_t text[512] = {};
        uint32_t length = 512;
        return GetParameter(set, key, text, &length) == ApiOk ? std::u16string(text) : u"<absent>";
    }

    // The names of the client calls, with the text of FtpCommand and FtpOpenFile.
    std::vector<std::string> Traffic() const {
        std::vector<std::string> traffic;
        for (const FakeCall &call : fake.calls) {
            if ((call.name == "FtpCommand" || call.name == "FtpOpenFile") && !call.texts.empty() && call.texts[0]) {
                traffic.push_back(call.name + " " + *call.texts[0]);
            } else {
                traffic.push_back(call.name);
            }
        }
        return traffic;
    }
    int CountOfCommand(const std::string &text) const {
        int count = 0;
        for (const FakeCall *call : fake.CallsNamed("FtpCommand")) count += call->texts[0] == text ? 1 : 0;
        return count;
    }

    FakeFtpClientServices fake;
    int32_t connection = 0;
    int32_t assetSet = 0;

private:
    SleepFunction previousSleep_ = nullptr;
    FtpClientServices *previousServices_ = nullptr;
    std::vector<int32_t> opened_;
};

}  // namespace sapi::testing
