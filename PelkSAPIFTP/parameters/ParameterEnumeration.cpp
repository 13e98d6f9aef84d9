#include "parameters/ParameterEnumeration.h"

#include <mutex>
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
    std::string key;
    WideString value;
    int32_t kind = 0;
    for (bool first = true;; first = false) {
        {
            // Only the copies are made under the lock: the host's callback
            // may call back into the module.
            std::lock_guard lock(ParameterSets().Guard());
            const ParameterSet *set = ParameterSets().Find(parameterSet);
            if (set == nullptr) return first ? ApiFailed : ApiOk;
            const auto entry = first ? set->begin() : set->upper_bound(key);
            if (entry == set->end()) return ApiOk;
            key = entry->first;
            value = entry->second.value;
            kind = entry->second.kind;
        }
        if (!CallHostCallback(callback, context, key.c_str(), value.c_str(), kind)) return ApiOk;
    }
}

}  // namespace sapi
