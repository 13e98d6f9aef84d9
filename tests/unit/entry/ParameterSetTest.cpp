// The registry, key order and slots 6 to 10, with the internal operations the
// other code reads and adds parameters through.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "parameters/ParameterAccess.h"
#include "parameters/ParameterSetRegistry.h"
#include "parameters/ParameterSlots.h"

namespace {

using sapi::WideString;

int32_t NewSet() {
    int32_t set = 0;
    EXPECT_EQ(CreateParameterSet(&set), ApiOk);
    return set;
}

WideString Get(int32_t set, const char *key) {
    WideString value;
    EXPECT_EQ(sapi::ReadParameterText(set, key, value), ApiOk) << key;
    return value;
}

bool SERVER_API_CALLBACK CollectKey(void *context, const char *key, const ServerApiChar *, int32_t) {
    static_cast<std::vector<std::string> *>(context)->push_back(key);
    return true;
}

std::vector<std::string> KeysOf(int32_t set) {
    std::vector<std::string> keys;
    EXPECT_EQ(EnumerateParameters(set, CollectKey, &keys), ApiOk);
    return keys;
}

TEST(ParameterSetRegistry, HandlesCountUpAndAreNeverReused) {
    sapi::ParameterSetRegistry registry;
    int32_t handle = 0;
    ASSERT_EQ(registry.Create(handle), ApiOk);
    EXPECT_EQ(handle, 1);
    registry.Destroy(1);
    EXPECT_EQ(registry.Find(1), nullptr);
    ASSERT_EQ(registry.Create(handle), ApiOk);
    EXPECT_EQ(handle, 2);
    registry.Destroy(7);  // never made: ignored
    EXPECT_NE(registry.Find(2), nullptr);
}

TEST(ParameterSetRegistry, CounterWrapsWithoutOverflowAndStepsOverZero) {
    sapi::ParameterSetRegistry registry(INT32_MAX);
    std::vector<int32_t> handles;
    for (int i = 0; i < 2; ++i) {
        int32_t handle = 0;
        ASSERT_EQ(registry.Create(handle), ApiOk);
        handles.push_back(handle);
    }
    EXPECT_EQ(handles, (std::vector<int32_t>{INT32_MAX, INT32_MIN}));

    sapi::ParameterSetRegistry nearZero(-1);
    int32_t handle = 0;
    ASSERT_EQ(nearZero.Create(handle), ApiOk);
    EXPECT_EQ(handle, -1);
    ASSERT_EQ(nearZero.Create(handle), ApiOk);
    EXPECT_EQ(handle, 1);
}

TEST(CreateParameterSet, NullPointerIsRefusedWithoutUsingAHandle) {
    const int32_t before = NewSet();
    EXPECT_EQ(CreateParameterSet(nullptr), ApiInvalidArgument);
    EXPECT_EQ(NewSet(), before + 1);
}

TEST(GetParameter, SizeQueryThenCopy) {
    const int32_t set = NewSet();
    ASSERT_EQ(SetParameter(set, "ServerPrimaryAddress", SAPI_WIDE("ftp.example.net")), ApiOk);
    uint32_t length = 0;
    ASSERT_EQ(GetParameter(set, "ServerPrimaryAddress", nullptr, &length), ApiOk);
    ASSERT_EQ(length, 16U);
    std::vector<ServerApiChar> text(length, 0x2A);
    length -= 1;
    EXPECT_EQ(GetParameter(set, "ServerPrimaryAddress", text.data(), &length), ApiBufferTooSmall);
    EXPECT_EQ(length, 16U);
    EXPECT_EQ(text[0], 0x2A);
    EXPECT_EQ(GetParameter(set, "ServerPrimaryAddress", text.data(), &length), ApiOk);
    EXPECT_EQ(WideString(text.data()), SAPI_WIDE("ftp.example.net"));
}

TEST(SetParameter, EmptyKeyAndEmptyValueAreOrdinary) {
    const int32_t set = NewSet();
    ASSERT_EQ(SetParameter(set, "", SAPI_WIDE("")), ApiOk);
    std::array<ServerApiChar, 2> text = {0x2A, 0x2A};
    uint32_t length = 1;
    EXPECT_EQ(GetParameter(set, "", text.data(), &length), ApiOk);
    EXPECT_EQ(length, 1U);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(KeysOf(set), std::vector<std::string>{""});
}

TEST(SetParameter, ReplacesTheValueAndKeepsTheKind) {
    const int32_t set = NewSet();
    ASSERT_EQ(sapi::AddParameterIfAbsent(set, "Title", 5, SAPI_WIDE("old")), ApiOk);
    ASSERT_EQ(SetParameter(set, "Title", SAPI_WIDE("new")), ApiOk);
    EXPECT_EQ(Get(set, "Title"), SAPI_WIDE("new"));
    int32_t kind = -1;
    const auto readKind = [](void *context, const char *, const ServerApiChar *, int32_t entryKind) -> bool {
        *static_cast<int32_t *>(context) = entryKind;
        return true;
    };
    ASSERT_EQ(EnumerateParameters(set, readKind, &kind), ApiOk);
    EXPECT_EQ(kind, 5);
}

TEST(AddParameterIfAbsent, LeavesAPresentKeyAlone) {
    const int32_t set = NewSet();
    ASSERT_EQ(SetParameter(set, "AssetName", SAPI_WIDE("a.txt")), ApiOk);
    EXPECT_EQ(sapi::AddParameterIfAbsent(set, "AssetName", 3, SAPI_WIDE("Asset Name")), ApiFailed);
    EXPECT_EQ(Get(set, "AssetName"), SAPI_WIDE("a.txt"));
    EXPECT_EQ(sapi::AddParameterIfAbsent(set, nullptr, 0, SAPI_WIDE("x")), ApiInvalidArgument);
}

TEST(RemoveParameter, RemovesOnceThenReportsNotFound) {
    const int32_t set = NewSet();
    ASSERT_EQ(SetParameter(set, "AssetSize", SAPI_WIDE("12")), ApiOk);
    EXPECT_EQ(RemoveParameter(set, "Title"), ApiParameterNotFound);
    EXPECT_EQ(RemoveParameter(set, "AssetSize"), ApiOk);
    EXPECT_EQ(RemoveParameter(set, "AssetSize"), ApiParameterNotFound);
    uint32_t length = 0;
    EXPECT_EQ(GetParameter(set, "AssetSize", nullptr, &length), ApiParameterNotFound);
}

TEST(ParameterSlots, NullArgumentsAreRefusedBeforeTheSetIsLookedUp) {
    const int32_t set = NewSet();
    uint32_t length = 0;
    for (int32_t handle : {set, 0}) {
        EXPECT_EQ(SetParameter(handle, nullptr, SAPI_WIDE("x")), ApiInvalidArgument);
        EXPECT_EQ(SetParameter(handle, "Title", nullptr), ApiInvalidArgument);
        EXPECT_EQ(RemoveParameter(handle, nullptr), ApiInvalidArgument);
        EXPECT_EQ(GetParameter(handle, nullptr, nullptr, &length), ApiInvalidArgument);
        EXPECT_EQ(GetParameter(handle, "Title", nullptr, nullptr), ApiInvalidArgument);
        EXPECT_EQ(EnumerateParameters(handle, nullptr, nullptr), ApiInvalidArgument);
    }
    EXPECT_TRUE(KeysOf(set).empty());
}

TEST(ParameterSlots, UnknownSetsFailAsEachOperationDefines) {
    const int32_t destroyed = NewSet();
    ASSERT_EQ(SetParameter(destroyed, "Title", SAPI_WIDE("x")), ApiOk);
    DestroyParameterSet(destroyed);
    DestroyParameterSet(destroyed);
    for (int32_t handle : {0, destroyed}) {
        uint32_t length = 0;
        WideString value = SAPI_WIDE("untouched");
        EXPECT_EQ(GetParameter(handle, "Title", nullptr, &length), ApiInvalidArgument);
        EXPECT_EQ(sapi::ReadParameterText(handle, "Title", value), ApiInvalidArgument);
        EXPECT_EQ(value, SAPI_WIDE("untouched"));
        EXPECT_EQ(SetParameter(handle, "Title", SAPI_WIDE("x")), ApiFailed);
        EXPECT_EQ(RemoveParameter(handle, "Title"), ApiFailed);
        EXPECT_EQ(EnumerateParameters(handle, CollectKey, nullptr), ApiFailed);
        EXPECT_EQ(sapi::AddParameterIfAbsent(handle, "Title", 0, SAPI_WIDE("x")), ApiFailed);
    }
}

TEST(ReadParameterText, LeavesTheCallersTextAloneWhenTheKeyIsMissing) {
    const int32_t set = NewSet();
    WideString value = SAPI_WIDE("before");
    EXPECT_EQ(sapi::ReadParameterText(set, "Title", value), ApiParameterNotFound);
    EXPECT_EQ(sapi::ReadParameterText(set, nullptr, value), ApiInvalidArgument);
    EXPECT_EQ(value, SAPI_WIDE("before"));
}

TEST(KeyOrder, BytesCompareUnsignedAndCaseMatters) {
    const int32_t set = NewSet();
    // The ten keys the plug-in knows, added out of order, then a few more.
    for (const char *key : {"Under Construction", "ServerPrimaryPort", "Title", "AssetSize", "ServerVerifyByRead",
                            "ServerPrimaryLoginPassword", "AssetName", "ServerUsePassive", "ServerPrimaryAddress",
                            "ServerPrimaryLoginName", "title", "\xC3\xA9t\xC3\xA9", "Titles", "~"}) {
        ASSERT_EQ(SetParameter(set, key, SAPI_WIDE("v")), ApiOk) << key;
    }
    const std::vector<std::string> expected = {
        "AssetName",        "AssetSize",          "ServerPrimaryAddress", "ServerPrimaryLoginName",
        "ServerPrimaryLoginPassword", "ServerPrimaryPort", "ServerUsePassive", "ServerVerifyByRead",
        "Title",            "Titles",             "Under Construction",   "title",
        "~",                "\xC3\xA9t\xC3\xA9"};
    EXPECT_EQ(KeysOf(set), expected);
    ASSERT_EQ(RemoveParameter(set, "title"), ApiOk);
    EXPECT_EQ(Get(set, "Title"), SAPI_WIDE("v")) << "keys differing in case are separate entries";
}

TEST(GetParameter, SurrogatePairsComeBackUnchangedAndCountAsUnits) {
    const int32_t set = NewSet();
    // "a", U+1D11E (musical G clef), "b", U+10437
    const WideString value = {'a', 0xD834, 0xDD1E, 'b', 0xD801, 0xDC37};
    ASSERT_EQ(SetParameter(set, "Title", value.c_str()), ApiOk);
    uint32_t length = 0;
    ASSERT_EQ(GetParameter(set, "Title", nullptr, &length), ApiOk);
    EXPECT_EQ(length, 7U);
    std::vector<ServerApiChar> text(length);
    ASSERT_EQ(GetParameter(set, "Title", text.data(), &length), ApiOk);
    EXPECT_EQ(WideString(text.data()), value);
}

}  // namespace
