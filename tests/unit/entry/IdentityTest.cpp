// Slots 1 to 5: the fixed texts and the parameter descriptions.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <map>
#include <string>

#include "entry/EntrySlots.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterSlots.h"
#include "platform/WideText.h"

namespace {

using sapi::WideString;

struct Entry {
    WideString value;
    int32_t kind;
};
using Entries = std::map<std::string, Entry>;

bool SERVER_API_CALLBACK Collect(void *context, const char *key, const ServerApiChar *value, int32_t kind) {
    (*static_cast<Entries *>(context))[key] = Entry{value, kind};
    return true;
}

Entries EntriesOf(int32_t set) {
    Entries entries;
    EXPECT_EQ(EnumerateParameters(set, Collect, &entries), ApiOk);
    return entries;
}

int32_t NewSet() {
    int32_t set = 0;
    EXPECT_EQ(CreateParameterSet(&set), ApiOk);
    return set;
}

TEST(Identity, TypeNameAndGroupNameGoOutByTheCopyRule) {
    uint32_t length = 0;
    ASSERT_EQ(GetServerTypeName(nullptr, &length), ApiOk);
    ASSERT_EQ(length, 4U);
    std::array<ServerApiChar, 16> text{};
    EXPECT_EQ(GetServerTypeName(text.data(), &length), ApiOk);
    EXPECT_EQ(WideString(text.data()), SAPI_WIDE("FTP"));
    length = 3;
    EXPECT_EQ(GetServerTypeName(text.data(), &length), ApiBufferTooSmall);
    EXPECT_EQ(GetServerTypeName(text.data(), nullptr), ApiInvalidArgument);

    length = static_cast<uint32_t>(text.size());
    EXPECT_EQ(GetServerGroupName(text.data(), &length), ApiOk);
    EXPECT_EQ(WideString(text.data()), SAPI_WIDE("FTP Servers"));
    EXPECT_EQ(length, 12U);
    EXPECT_EQ(GetServerGroupName(nullptr, nullptr), ApiInvalidArgument);
}

TEST(Identity, TypeIdIsOneBracedGuid) {
    EXPECT_EQ(GetServerTypeId(nullptr), ApiOk);
    std::array<ServerApiChar, 39> first{};
    std::array<ServerApiChar, 39> second{};
    ASSERT_EQ(GetServerTypeId(first.data()), ApiOk);
    ASSERT_EQ(GetServerTypeId(second.data()), ApiOk);
    const WideString id(first.data());
    EXPECT_EQ(id, WideString(second.data()));
    ASSERT_EQ(id.size(), 38U);
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i == 0) {
            EXPECT_EQ(id[i], '{');
        } else if (i == 37) {
            EXPECT_EQ(id[i], '}');
        } else if (i == 9 || i == 14 || i == 19 || i == 24) {
            EXPECT_EQ(id[i], '-') << i;
        } else {
            EXPECT_TRUE(id[i] < 0x80 && std::isxdigit(id[i])) << i;
        }
    }
}

TEST(DescribeServerParameters, WritesEveryLabelWithKindZeroEveryTime) {
    const int32_t set = NewSet();
    const Entries expected = {
        {"ServerPrimaryAddress", {SAPI_WIDE("FTP Server Address"), 0}},
        {"ServerPrimaryPort", {SAPI_WIDE("FTP Server Port"), 0}},
        {"ServerPrimaryLoginName", {SAPI_WIDE("Username"), 0}},
        {"ServerPrimaryLoginPassword", {SAPI_WIDE("Password"), 0}},
        {"ServerUsePassive", {SAPI_WIDE("Use Passive FTP"), 0}},
        {"ServerVerifyByRead", {SAPI_WIDE("Pre-Transfer File Test"), 0}},
        {"ServerEndOnConfirmation", {SAPI_WIDE("End Transfers on Server Confirmation"), 0}},
        {"ServerStopOnRefusal", {SAPI_WIDE("No File Test Retries after Refusal"), 0}},
#if !defined(_WIN32)
        {"ServerReconnect", {SAPI_WIDE("Reconnect and Resume after a Dropped Connection"), 0}},
        {"ServerVerifyHash", {SAPI_WIDE("Verify Transfers by the Server's Digest (0 no, 1 where offered, 2 required)"), 0}},
        {"ServerFollowGrowing", {SAPI_WIDE("Follow Growing Files (seconds of quiet that end a download, 0 no)"), 0}},
        {"ServerUseTLS", {SAPI_WIDE("Use TLS (0 no, 1 explicit FTPS, 2 implicit FTPS)"), 0}},
        {"ServerTLSCAFile", {SAPI_WIDE("TLS CA File"), 0}},
        {"ServerTLSFingerprint", {SAPI_WIDE("TLS Certificate SHA-256 Fingerprint"), 0}},
#endif
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(DescribeServerParameters(set), ApiOk);
        const Entries entries = EntriesOf(set);
        ASSERT_EQ(entries.size(), expected.size());
        for (const auto &[key, entry] : expected) {
            ASSERT_EQ(entries.count(key), 1U) << key;
            EXPECT_EQ(entries.at(key).value, entry.value) << key;
            EXPECT_EQ(entries.at(key).kind, 0) << key;
        }
    }
}

TEST(DescribeServerParameters, ReplacesAHostValueButKeepsItsKind) {
    const int32_t set = NewSet();
    ASSERT_EQ(sapi::AddParameterIfAbsent(set, "ServerPrimaryPort", 9, SAPI_WIDE("2121")), ApiOk);
    ASSERT_EQ(DescribeServerParameters(set), ApiOk);
    const Entries entries = EntriesOf(set);
    EXPECT_EQ(entries.at("ServerPrimaryPort").value, SAPI_WIDE("FTP Server Port"));
    EXPECT_EQ(entries.at("ServerPrimaryPort").kind, 9);
}

TEST(DescribeAssetParameters, AddsAssetNameOnlyOnce) {
    const int32_t set = NewSet();
    EXPECT_EQ(DescribeAssetParameters(set), ApiOk);
    EXPECT_EQ(DescribeAssetParameters(set), ApiFailed);
    const Entries entries = EntriesOf(set);
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries.at("AssetName").value, SAPI_WIDE("Asset Name"));
    EXPECT_EQ(entries.at("AssetName").kind, 0);
}

TEST(Describe, UnknownSetsFailAndCreateNothing) {
    const int32_t set = NewSet();
    DestroyParameterSet(set);
    for (int32_t handle : {0, set}) {
        EXPECT_EQ(DescribeServerParameters(handle), ApiFailed);
        EXPECT_EQ(DescribeAssetParameters(handle), ApiFailed);
        EXPECT_EQ(EnumerateParameters(handle, Collect, nullptr), ApiFailed) << "a set appeared";
    }
}

}  // namespace
