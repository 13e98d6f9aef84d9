#include "parameters/ParameterAccess.h"

#include <mutex>
#include <string>

#include "base/TextCopyOut.h"
#include "parameters/ParameterSetRegistry.h"

namespace sapi {

ResultCode ReadParameterText(int32_t parameterSet, const char *key, WideString &value) {
    if (key == nullptr) return ApiInvalidArgument;
    std::lock_guard lock(ParameterSets().Guard());
    const ParameterSet *set = ParameterSets().Find(parameterSet);
    if (set == nullptr) return ApiInvalidArgument;
    const auto entry = set->find(key);
    if (entry == set->end()) return ApiParameterNotFound;
    value = entry->second.value;
    return ApiOk;
}

ResultCode AddParameterIfAbsent(int32_t parameterSet, const char *key, int32_t kind, const WideString &value) {
    if (key == nullptr) return ApiInvalidArgument;
    std::lock_guard lock(ParameterSets().Guard());
    ParameterSet *set = ParameterSets().Find(parameterSet);
    if (set == nullptr) return ApiFailed;
    if (set->find(key) != set->end()) return ApiFailed;
    set->emplace(std::string(key), ParameterValue{kind, value});
    return ApiOk;
}

ResultCode SetParameterText(int32_t parameterSet, const char *key, const WideChar *value) {
    if (key == nullptr || value == nullptr) return ApiInvalidArgument;
    std::lock_guard lock(ParameterSets().Guard());
    ParameterSet *set = ParameterSets().Find(parameterSet);
    if (set == nullptr) return ApiFailed;
    const auto entry = set->find(key);
    if (entry != set->end()) {
        // Assignment keeps the old value if the copy cannot be made.
        entry->second.value.assign(value);
    } else {
        set->emplace(std::string(key), ParameterValue{0, WideString(value)});
    }
    return ApiOk;
}

ResultCode RemoveParameterEntry(int32_t parameterSet, const char *key) {
    if (key == nullptr) return ApiInvalidArgument;
    std::lock_guard lock(ParameterSets().Guard());
    ParameterSet *set = ParameterSets().Find(parameterSet);
    if (set == nullptr) return ApiFailed;
    const auto entry = set->find(key);
    if (entry == set->end()) return ApiParameterNotFound;
    set->erase(entry);
    return ApiOk;
}

ResultCode CopyParameterOut(int32_t parameterSet, const char *key, WideChar *destination, uint32_t *length) {
    if (key == nullptr || length == nullptr) return ApiInvalidArgument;
    std::lock_guard lock(ParameterSets().Guard());
    const ParameterSet *set = ParameterSets().Find(parameterSet);
    // Unlike the operations that change or walk a set, reading one answers an
    // unknown handle with ApiInvalidArgument.
    if (set == nullptr) return ApiInvalidArgument;
    const auto entry = set->find(key);
    if (entry == set->end()) return ApiParameterNotFound;
    return TextCopyOut(entry->second.value, destination, length);
}

void WriteOrRemoveParameter(int32_t parameterSet, const char *key, const WideString &text) {
    if (text.empty()) {
        RemoveParameterEntry(parameterSet, key);
    } else {
        SetParameterText(parameterSet, key, text.c_str());
    }
}

}  // namespace sapi
