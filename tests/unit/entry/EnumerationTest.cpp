// EnumerateParameters, including callbacks that change or destroy the set they walk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "parameters/ParameterSlots.h"
#include "platform/WideText.h"

namespace {

using sapi::WideString;

struct Visit {
    std::string key;
    WideString value;
    int32_t kind;
    bool operator==(const Visit &) const = default;
};

// Records each visit, then lets the test act on the set and decide whether to go on.
struct Walk {
    std::vector<Visit> visits;
    std::function<bool(const char *key, const ServerApiChar *value)> onVisit = [](const char *,
                                                                                  const ServerApiChar *) {
        return true;
    };
};

bool SERVER_API_CALLBACK Record(void *context, const char *key, const ServerApiChar *value, int32_t kind) {
    auto &walk = *static_cast<Walk *>(context);
    walk.visits.push_back(Visit{key, value, kind});
    return walk.onVisit(key, value);
}

std::vector<std::string> KeysOf(const Walk &walk) {
    std::vector<std::string> keys;
    for (const Visit &visit : walk.visits) keys.push_back(visit.key);
    return keys;
}

int32_t SetWith(std::initializer_list<const char *> keys) {
    int32_t set = 0;
    EXPECT_EQ(CreateParameterSet(&set), ApiOk);
    for (const char *key : keys) EXPECT_EQ(SetParameter(set, key, SAPI_WIDE("v")), ApiOk);
    return set;
}

TEST(EnumerateParameters, EmptySetMakesNoCall) {
    Walk walk;
    EXPECT_EQ(EnumerateParameters(SetWith({}), Record, &walk), ApiOk);
    EXPECT_TRUE(walk.visits.empty());
}

TEST(EnumerateParameters, FalseStopsAtOnceAndStillSucceeds) {
    Walk walk;
    walk.onVisit = [](const char *, const ServerApiChar *) { return false; };
    EXPECT_EQ(EnumerateParameters(SetWith({"a", "b", "c"}), Record, &walk), ApiOk);
    EXPECT_EQ(KeysOf(walk), std::vector<std::string>{"a"});
}

TEST(EnumerateParameters, CallbackDestroyingTheSetEndsTheWalk) {
    const int32_t set = SetWith({"a", "b", "c"});
    Walk walk;
    walk.onVisit = [&](const char *key, const ServerApiChar *value) {
        DestroyParameterSet(set);
        // What the walk handed over is still readable for the rest of the call.
        return std::string(key) == "a" && WideString(value) == SAPI_WIDE("v");
    };
    EXPECT_EQ(EnumerateParameters(set, Record, &walk), ApiOk);
    EXPECT_EQ(KeysOf(walk), std::vector<std::string>{"a"});
}

TEST(EnumerateParameters, WalkGoesOnFromTheLastKeyAsTheSetNowIs) {
    const int32_t set = SetWith({"b", "d", "f"});
    Walk walk;
    walk.onVisit = [&](const char *key, const ServerApiChar *) {
        if (std::string(key) == "b") {
            EXPECT_EQ(RemoveParameter(set, "b"), ApiOk);  // the current entry
            EXPECT_EQ(RemoveParameter(set, "d"), ApiOk);  // ahead: not visited
            EXPECT_EQ(SetParameter(set, "a", SAPI_WIDE("v")), ApiOk);  // behind: not visited
            EXPECT_EQ(SetParameter(set, "c", SAPI_WIDE("v")), ApiOk);  // ahead: visited
            EXPECT_EQ(SetParameter(set, "f", SAPI_WIDE("changed")), ApiOk);
        }
        return true;
    };
    EXPECT_EQ(EnumerateParameters(set, Record, &walk), ApiOk);
    EXPECT_EQ(KeysOf(walk), (std::vector<std::string>{"b", "c", "f"}));
    EXPECT_EQ(walk.visits.back().value, SAPI_WIDE("changed"));
}

TEST(EnumerateParameters, ValueReplacedDuringItsOwnCallStaysReadable) {
    const int32_t set = SetWith({});
    const WideString longValue(200, 'x');  // well past any in-place string storage
    ASSERT_EQ(SetParameter(set, "a", longValue.c_str()), ApiOk);
    Walk walk;
    WideString seenAfterChange;
    walk.onVisit = [&](const char *, const ServerApiChar *value) {
        EXPECT_EQ(SetParameter(set, "a", SAPI_WIDE("short")), ApiOk);
        EXPECT_EQ(RemoveParameter(set, "a"), ApiOk);
        seenAfterChange = value;
        return true;
    };
    EXPECT_EQ(EnumerateParameters(set, Record, &walk), ApiOk);
    EXPECT_EQ(seenAfterChange, longValue);
}

}  // namespace
