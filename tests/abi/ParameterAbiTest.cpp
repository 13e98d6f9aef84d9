// Slots 4 to 11 through the table, with a host callback declared as a host
// declares it.
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

bool SERVER_API_CALLBACK Record(void *context, const char *key, const ServerApiChar *value, int32_t kind) {
    static_cast<std::vector<Entry> *>(context)->push_back(Entry{key, value, kind});
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
        std::vector<Entry> entries;
        EXPECT_EQ(api.EnumerateParameters(set, Record, &entries), ApiOk);
        return entries;
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

TEST_F(ParameterSetsThroughTheTable, DescribeSetGetRemoveAndWalk) {
    const int32_t set = NewSet();
    ASSERT_EQ(api.DescribeAssetParameters(set), ApiOk);
    EXPECT_EQ(api.DescribeAssetParameters(set), ApiFailed);
    ASSERT_EQ(api.DescribeServerParameters(set), ApiOk);
    ASSERT_EQ(api.SetParameter(set, "ServerPrimaryPort", u"2121"), ApiOk);
    ASSERT_EQ(api.SetParameter(set, "Title", u"\U0001F4C1 folder"), ApiOk);
    EXPECT_EQ(GetText(api, set, "ServerPrimaryPort"), u"2121");
    EXPECT_EQ(GetText(api, set, "Title"), u"\U0001F4C1 folder");
    EXPECT_EQ(api.RemoveParameter(set, "ServerPrimaryPort"), ApiOk);
    EXPECT_EQ(api.RemoveParameter(set, "ServerPrimaryPort"), ApiParameterNotFound);

    const std::vector<Entry> entries = EntriesOf(set);
#if defined(_WIN32)
    const std::size_t entryCount = 9;
#else
    const std::size_t entryCount = 15;  // and the reconnect, digest, follow and three FTPS keys
#endif
    ASSERT_EQ(entries.size(), entryCount);
    EXPECT_EQ(entries.front(), (Entry{"AssetName", u"Asset Name", 0}));
    EXPECT_EQ(entries[1], (Entry{"ServerEndOnConfirmation", u"End Transfers on Server Confirmation", 0}));  // byte order
    EXPECT_EQ(entries.back(), (Entry{"Title", u"\U0001F4C1 folder", 0}));
    api.DestroyParameterSet(set);
    EXPECT_EQ(api.EnumerateParameters(set, Record, nullptr), ApiFailed);
}

}  // namespace
