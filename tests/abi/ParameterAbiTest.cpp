// Slots 4 to 11 through the table, with host callbacks declared as a host
// declares them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleLoader.h"

namespace {

using sapi_test::ModuleLoader;
using Text = std::u16string;

struct Entry {
    std::string key;
    Text value;
    int32_t kind;
    bool operator==(const Entry &) const = default;
};

struct Walk {
    const ServerApiFunctions *api = nullptr;
    int32_t set = 0;
    std::vector<Entry> entries;
    bool destroyOnFirst = false;
};

bool SERVER_API_CALLBACK Record(void *context, const char *key, const ServerApiChar *value, int32_t kind) {
    auto &walk = *static_cast<Walk *>(context);
    walk.entries.push_back(Entry{key, value, kind});
    if (walk.destroyOnFirst) walk.api->DestroyParameterSet(walk.set);
    return true;
}

Text GetText(const ServerApiFunctions &api, int32_t set, const char *key) {
    uint32_t length = 0;
    EXPECT_EQ(api.GetParameter(set, key, nullptr, &length), ApiOk) << key;
    Text text(length, u'*');
    EXPECT_EQ(api.GetParameter(set, key, text.data(), &length), ApiOk) << key;
    text.resize(length - 1);
    return text;
}

class ParameterSetsThroughTheTable : public ::testing::Test {
protected:
    ModuleLoader module;
    const ServerApiFunctions &api = module.table;

    int32_t NewSet() {
        int32_t set = 0;
        EXPECT_EQ(api.CreateParameterSet(&set), ApiOk);
        return set;
    }
    std::vector<Entry> EntriesOf(int32_t set) {
        Walk walk;
        EXPECT_EQ(api.EnumerateParameters(set, Record, &walk), ApiOk);
        return walk.entries;
    }
};

TEST_F(ParameterSetsThroughTheTable, HandlesStartAtOneAndAreNotReused) {
    int32_t set = 0;
    EXPECT_EQ(api.CreateParameterSet(nullptr), ApiInvalidArgument);
    ASSERT_EQ(api.CreateParameterSet(&set), ApiOk);
    EXPECT_EQ(set, 1);
    api.DestroyParameterSet(1);
    api.DestroyParameterSet(1);
    ASSERT_EQ(api.CreateParameterSet(&set), ApiOk);
    EXPECT_EQ(set, 2);
    uint32_t length = 0;
    EXPECT_EQ(api.GetParameter(1, "Title", nullptr, &length), ApiInvalidArgument);
    EXPECT_EQ(api.SetParameter(1, "Title", u"x"), ApiFailed);
}

TEST_F(ParameterSetsThroughTheTable, SetGetRemoveAndWalk) {
    const int32_t set = NewSet();
    ASSERT_EQ(api.SetParameter(set, "ServerPrimaryPort", u"2121"), ApiOk);
    ASSERT_EQ(api.SetParameter(set, "ServerPrimaryAddress", u"127.0.0.1"), ApiOk);
    ASSERT_EQ(api.SetParameter(set, "Title", u"\U0001F4C1 folder"), ApiOk);
    EXPECT_EQ(GetText(api, set, "ServerPrimaryPort"), u"2121");
    EXPECT_EQ(GetText(api, set, "Title"), u"\U0001F4C1 folder");

    EXPECT_EQ(api.RemoveParameter(set, "ServerPrimaryPort"), ApiOk);
    EXPECT_EQ(api.RemoveParameter(set, "ServerPrimaryPort"), ApiParameterNotFound);
    EXPECT_EQ(EntriesOf(set), (std::vector<Entry>{{"ServerPrimaryAddress", u"127.0.0.1", 0},
                                                  {"Title", u"\U0001F4C1 folder", 0}}));
    api.DestroyParameterSet(set);
}

TEST_F(ParameterSetsThroughTheTable, DescriptionsLandInTheHostsSet) {
    const int32_t set = NewSet();
    ASSERT_EQ(api.DescribeServerParameters(set), ApiOk);
    ASSERT_EQ(api.DescribeAssetParameters(set), ApiOk);
    EXPECT_EQ(api.DescribeAssetParameters(set), ApiFailed);
    EXPECT_EQ(GetText(api, set, "ServerPrimaryPort"), u"FTP Server Port");
    EXPECT_EQ(GetText(api, set, "AssetName"), u"Asset Name");
    EXPECT_EQ(EntriesOf(set).size(), 7U);
    EXPECT_EQ(api.DescribeServerParameters(set + 100), ApiFailed);
}

TEST_F(ParameterSetsThroughTheTable, CallbackMayDestroyTheSetItWalks) {
    const int32_t set = NewSet();
    for (const char *key : {"a", "b", "c"}) ASSERT_EQ(api.SetParameter(set, key, u"v"), ApiOk);
    Walk walk{&api, set, {}, true};
    EXPECT_EQ(api.EnumerateParameters(set, Record, &walk), ApiOk);
    EXPECT_EQ(walk.entries, (std::vector<Entry>{{"a", u"v", 0}}));
    EXPECT_EQ(api.EnumerateParameters(set, Record, &walk), ApiFailed);
}

}  // namespace
