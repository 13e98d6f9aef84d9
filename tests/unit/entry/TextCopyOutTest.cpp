#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "base/TextCopyOut.h"

namespace {

using sapi::TextCopyOut;
using sapi::WideChar;
using sapi::WideString;

constexpr WideChar untouched = 0x2A2A;

struct Buffer {
    std::array<WideChar, 8> text;
    Buffer() { text.fill(untouched); }
    bool Untouched() const {
        for (WideChar c : text) {
            if (c != untouched) return false;
        }
        return true;
    }
};

TEST(TextCopyOut, NullDestinationAsksForTheNeededCapacity) {
    uint32_t length = 1;
    EXPECT_EQ(TextCopyOut(SAPI_WIDE("FTP"), nullptr, &length), ApiOk);
    EXPECT_EQ(length, 4U);
}

TEST(TextCopyOut, NullLengthIsRefusedAndWritesNothing) {
    Buffer buffer;
    EXPECT_EQ(TextCopyOut(SAPI_WIDE("FTP"), buffer.text.data(), nullptr), ApiInvalidArgument);
    EXPECT_TRUE(buffer.Untouched());
}

TEST(TextCopyOut, ShortCapacityReportsTheNeededOneAndLeavesTheBufferAlone) {
    for (uint32_t capacity : {0U, 1U, 3U}) {
        Buffer buffer;
        uint32_t length = capacity;
        EXPECT_EQ(TextCopyOut(SAPI_WIDE("FTP"), buffer.text.data(), &length), ApiBufferTooSmall) << capacity;
        EXPECT_EQ(length, 4U);
        EXPECT_TRUE(buffer.Untouched()) << capacity;
    }
}

TEST(TextCopyOut, ExactAndLargerCapacitiesCopyTextAndTerminatorOnly) {
    // 0x80000000 and up are huge capacities, not negative ones.
    for (uint32_t capacity : {4U, 5U, 0x80000000U, 0xFFFFFFFFU}) {
        Buffer buffer;
        uint32_t length = capacity;
        ASSERT_EQ(TextCopyOut(SAPI_WIDE("FTP"), buffer.text.data(), &length), ApiOk) << capacity;
        EXPECT_EQ(length, 4U);
        EXPECT_EQ(WideString(buffer.text.data()), SAPI_WIDE("FTP"));
        EXPECT_EQ(buffer.text[4], untouched) << "wrote past the terminator";
    }
}

TEST(TextCopyOut, EmptyTextNeedsRoomForTheTerminatorOnly) {
    Buffer buffer;
    uint32_t length = 0;
    EXPECT_EQ(TextCopyOut(SAPI_WIDE(""), buffer.text.data(), &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 1U);
    EXPECT_TRUE(buffer.Untouched());
    length = 1;
    EXPECT_EQ(TextCopyOut(SAPI_WIDE(""), buffer.text.data(), &length), ApiOk);
    EXPECT_EQ(length, 1U);
    EXPECT_EQ(buffer.text[0], 0);
    EXPECT_EQ(buffer.text[1], untouched);
}

TEST(TextCopyOut, SurrogatePairsCountAsTwoUnitsAndPassUnchanged) {
    // U+1F4C1 (file folder) then 'x': three 16-bit units.
    const WideString text = {0xD83D, 0xDCC1, 'x'};
    Buffer buffer;
    uint32_t length = 3;
    EXPECT_EQ(TextCopyOut(text, buffer.text.data(), &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 4U);
    EXPECT_EQ(TextCopyOut(text, buffer.text.data(), &length), ApiOk);
    EXPECT_EQ(WideString(buffer.text.data()), text);
}

}  // namespace
