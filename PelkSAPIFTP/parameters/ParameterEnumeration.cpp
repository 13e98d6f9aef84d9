#include "parameters/ParameterEnumeration.h"

#include <string>

#include "base/HostCallback.h"
#include "parameters/ParameterSetRegistry.h"

namespace sapi {

// The host may change or destroy the set from inside its callback, so the walk
// holds nothing of the set across a call:
// - the callback gets copies of the key and the value, which stay valid for the
//   whole call whatever the callback does to the set;
// - after each call the set is looked up again by its handle, and the walk goes
//   on from the first key greater than the one just visited, as the set is then.
// So a walk visits every key that is in the set when the walk reaches its place:
// keys added behind the current one are visited, keys added before it or removed
// ahead of the walk are not, a value changed ahead of the walk is seen new, and
// a set destroyed by the callback ends the walk (still ApiOk).
ResultCode EnumerateParameterSet(int32_t parameterSet, ParameterCallback callback, void *context) {
    if (callback == nullptr) return ApiInvalidArgument;
    const ParameterSet *set = ParameterSets().Find(parameterSet);
    if (set == nullptr) return ApiFailed;
    for (auto entry = set->begin(); entry != set->end();) {
        const std::string key = entry->first;
        const WideString value = entry->second.value;
        const int32_t kind = entry->second.kind;
        if (!CallHostCallback(callback, context, key.c_str(), value.c_str(), kind)) break;
        set = ParameterSets().Find(parameterSet);
        if (set == nullptr) break;
        entry = set->upper_bound(key);
    }
    return ApiOk;
}

}  // namespace sapi
