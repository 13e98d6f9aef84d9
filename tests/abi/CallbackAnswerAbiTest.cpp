// Host callbacks answer with one byte, non-zero to go on, and may leave junk in
// the rest of the return register. Hosts written in other languages answer
// "true" as 0xFF or other non-zero bytes. The callbacks here are written in
// assembly, since a C++ function declared bool can only answer 0 or 1.
#include <gtest/gtest.h>

#include "ModuleLoader.h"

#if defined(__x86_64__) && defined(__ELF__)

extern "C" {
// How many times any of the callbacks below was called.
extern int32_t sapiTestAnswerCalls;
bool SERVER_API_CALLBACK sapiTestAnswerTwoWithJunk(void *, const char *, const ServerApiChar *, int32_t);
bool SERVER_API_CALLBACK sapiTestAnswerAllOnes(void *, const char *, const ServerApiChar *, int32_t);
bool SERVER_API_CALLBACK sapiTestAnswerZeroUnderJunk(void *, const char *, const ServerApiChar *, int32_t);
}

#define SAPI_TEST_ANSWER(name, eax)         \
    "  .globl " #name "\n"                  \
    "  .type " #name ", @function\n"        \
    #name ":\n"                             \
    "  addl $1, sapiTestAnswerCalls(%rip)\n" \
    "  movl $" #eax ", %eax\n"              \
    "  ret\n"                               \
    "  .size " #name ", .-" #name "\n"

asm("  .data\n"
    "  .globl sapiTestAnswerCalls\n"
    "  .type sapiTestAnswerCalls, @object\n"
    "  .size sapiTestAnswerCalls, 4\n"
    "sapiTestAnswerCalls:\n"
    "  .long 0\n"
    "  .text\n"
    SAPI_TEST_ANSWER(sapiTestAnswerTwoWithJunk, 0x12345602)
    SAPI_TEST_ANSWER(sapiTestAnswerAllOnes, 0xFF)
    SAPI_TEST_ANSWER(sapiTestAnswerZeroUnderJunk, 0xFFFFFF00));

namespace {

int32_t CallsOfAWalk(ParameterCallback callback) {
    sapi_test::ModuleLoader module;
    int32_t set = 0;
    EXPECT_EQ(module.table.CreateParameterSet(&set), ApiOk);
    for (const char *key : {"a", "b", "c"}) EXPECT_EQ(module.table.SetParameter(set, key, u"v"), ApiOk);
    sapiTestAnswerCalls = 0;
    EXPECT_EQ(module.table.EnumerateParameters(set, callback, nullptr), ApiOk);
    return sapiTestAnswerCalls;
}

TEST(CallbackAnswer, AnyNonZeroLowByteGoesOn) {
    EXPECT_EQ(CallsOfAWalk(sapiTestAnswerTwoWithJunk), 3);
    EXPECT_EQ(CallsOfAWalk(sapiTestAnswerAllOnes), 3);
}

TEST(CallbackAnswer, ZeroLowByteStopsWhateverIsAboveIt) {
    EXPECT_EQ(CallsOfAWalk(sapiTestAnswerZeroUnderJunk), 1);
}

}  // namespace

#endif
