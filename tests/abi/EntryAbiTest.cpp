// InitServerAPI, ReleaseServerAPI, the table and slots 1 to 5, through the
// module's export as a host reaches them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>

#include "ModuleLoader.h"

namespace {

using sapi_test::ModuleLoader;
using Text = std::u16string;

const ServerApiFunctions *const unset = reinterpret_cast<const ServerApiFunctions *>(0x1234);

TEST(InitServerAPIExport, RefusesOtherVersionsAndNullBeforeAnythingElse) {
    ModuleLoader module;
    for (int32_t version : {2, 4, 0}) {
        const ServerApiFunctions *table = unset;
        EXPECT_EQ(module.init(version, &table), ApiVersionMismatch) << version;
        EXPECT_EQ(table, unset);
        EXPECT_EQ(module.init(version, nullptr), ApiVersionMismatch) << version;
    }
    EXPECT_EQ(module.init(SERVER_API_VERSION, nullptr), ApiInvalidArgument);
}

TEST(InitServerAPIExport, HandsOutOneTableOfTwentySevenDistinctOperations) {
    ModuleLoader module;
    const ServerApiFunctions *again = nullptr;
    ASSERT_EQ(module.init(SERVER_API_VERSION, &again), ApiOk);
    EXPECT_EQ(again, &module.table);

    static_assert(sizeof(ServerApiFunctions) == SERVER_API_SLOT_COUNT * sizeof(void (*)()));
    std::array<void (*)(), SERVER_API_SLOT_COUNT> slots{};
    std::memcpy(slots.data(), &module.table, sizeof slots);
    std::set<void (*)()> distinct;
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        EXPECT_NE(slots[slot], nullptr) << "slot " << slot;
        distinct.insert(slots[slot]);
    }
    EXPECT_EQ(distinct.size(), slots.size());
}

TEST(ReleaseServerAPIExport, CanBeCalledTwiceAndSetsOutliveIt) {
    ModuleLoader module;
    const ServerApiFunctions &api = module.table;
    int32_t set = 0;
    ASSERT_EQ(api.CreateParameterSet(&set), ApiOk);
    ASSERT_EQ(api.SetParameter(set, "Title", u"still here"), ApiOk);
    api.ReleaseServerAPI();
    api.ReleaseServerAPI();

    std::array<char16_t, 16> text{};
    uint32_t length = static_cast<uint32_t>(text.size());
    ASSERT_EQ(api.GetParameter(set, "Title", text.data(), &length), ApiOk);
    EXPECT_EQ(Text(text.data()), u"still here");
    const ServerApiFunctions *table = nullptr;
    EXPECT_EQ(module.init(SERVER_API_VERSION, &table), ApiOk);
}

TEST(ModuleLifetime, UnloadDropsEverythingAndAReloadStartsAtHandleOne) {
    {
        ModuleLoader first;
        int32_t set = 0;
        ASSERT_EQ(first.table.CreateParameterSet(&set), ApiOk);
        EXPECT_EQ(set, 1);
        ASSERT_EQ(first.table.CreateParameterSet(&set), ApiOk);
        ASSERT_EQ(first.table.SetParameter(set, "AssetName", u"left for unload"), ApiOk);
        // Unloading with sets still registered destroys them (the sanitizer
        // build would report them as leaks otherwise).
    }
    ModuleLoader second;
    int32_t set = 0;
    ASSERT_EQ(second.table.CreateParameterSet(&set), ApiOk);
    EXPECT_EQ(set, 1);
}

TEST(IdentityExport, NamesTheServerKind) {
    ModuleLoader module;
    const ServerApiFunctions &api = module.table;
    uint32_t length = 0;
    ASSERT_EQ(api.GetServerTypeName(nullptr, &length), ApiOk);
    ASSERT_EQ(length, 4U);
    std::array<char16_t, 40> text{};
    ASSERT_EQ(api.GetServerTypeName(text.data(), &length), ApiOk);
    EXPECT_EQ(Text(text.data()), u"FTP");

    length = static_cast<uint32_t>(text.size());
    ASSERT_EQ(api.GetServerGroupName(text.data(), &length), ApiOk);
    EXPECT_EQ(Text(text.data()), u"FTP Servers");

    text.fill(u'*');
    ASSERT_EQ(api.GetServerTypeId(text.data()), ApiOk);
    const Text id(text.data());
    EXPECT_EQ(id.size(), 38U);
    EXPECT_EQ(id.front(), u'{');
    EXPECT_EQ(id.back(), u'}');
    EXPECT_EQ(text[39], u'*') << "wrote past the 39 units the host provides";
    EXPECT_EQ(api.GetServerTypeId(nullptr), ApiOk);
}

}  // namespace
