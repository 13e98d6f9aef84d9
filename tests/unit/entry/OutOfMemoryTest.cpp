// An exhausted heap inside a slot comes back as ApiOutOfMemory and changes
// nothing. This binary replaces the global operator new so a test can make the
// next allocations fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "base/HostContext.h"
#include "entry/EntrySlots.h"
#include "entry/ModuleEntry.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterSlots.h"

namespace {

bool heapExhausted = false;

// While one exists, every allocation fails.
struct ExhaustedHeap {
    ExhaustedHeap() { heapExhausted = true; }
    ~ExhaustedHeap() { heapExhausted = false; }
    ExhaustedHeap(const ExhaustedHeap &) = delete;
    ExhaustedHeap &operator=(const ExhaustedHeap &) = delete;
};

}  // namespace

void *operator new(std::size_t size) {
    if (heapExhausted) throw std::bad_alloc();
    if (void *block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }

namespace {

using sapi::WideString;

const WideString longValue(100, 'v');  // too long to be kept inside the string object
const std::string longKey(100, 'k');

bool SERVER_API_CALLBACK CountCall(void *context, const char *, const ServerApiChar *, int32_t) {
    ++*static_cast<int *>(context);
    return true;
}

TEST(OutOfMemory, InitServerAPIKeepsThePreviousBufferAndTheHostsVariable) {
    const ServerApiFunctions *table = nullptr;
    ASSERT_EQ(sapi::InitializeModule(3, &table), ApiOk);
    void *buffer = sapi::HostContextBuffer();
    const ServerApiFunctions *again = nullptr;
    {
        ExhaustedHeap exhausted;
        EXPECT_EQ(sapi::InitializeModule(3, &again), ApiOutOfMemory);
    }
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(sapi::HostContextBuffer(), buffer);
    ReleaseServerAPI();
}

TEST(OutOfMemory, ParameterSlotsReportItAndLeaveTheSetAsItWas) {
    int32_t set = 0;
    ASSERT_EQ(CreateParameterSet(&set), ApiOk);
    ASSERT_EQ(SetParameter(set, "Title", longValue.c_str()), ApiOk);
    const WideString other(150, 'w');
    int32_t unused = 0;
    {
        ExhaustedHeap exhausted;
        EXPECT_EQ(SetParameter(set, "Title", other.c_str()), ApiOutOfMemory);
        EXPECT_EQ(SetParameter(set, longKey.c_str(), other.c_str()), ApiOutOfMemory);
        EXPECT_EQ(CreateParameterSet(&unused), ApiOutOfMemory);
        EXPECT_EQ(DescribeServerParameters(set), ApiOutOfMemory);
        int calls = 0;
        EXPECT_EQ(EnumerateParameters(set, CountCall, &calls), ApiOutOfMemory);
        EXPECT_EQ(calls, 0) << "the host was called with a value that could not be copied";
    }
    EXPECT_EQ(unused, 0);
    WideString value;
    EXPECT_EQ(sapi::ReadParameterText(set, "Title", value), ApiOk);
    EXPECT_EQ(value, longValue);
    EXPECT_EQ(sapi::ReadParameterText(set, longKey.c_str(), value), ApiParameterNotFound);
    // The failed creation used up its number all the same.
    int32_t next = 0;
    ASSERT_EQ(CreateParameterSet(&next), ApiOk);
    EXPECT_EQ(next, set + 2);
}

}  // namespace
