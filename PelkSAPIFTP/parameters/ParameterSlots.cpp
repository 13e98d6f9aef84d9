// Each slot hands its arguments to the parameter code inside the boundary guard:
// an exhausted heap comes back as ApiOutOfMemory, and the set is as it was.
#include "parameters/ParameterSlots.h"

#include "base/Boundary.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterEnumeration.h"
#include "parameters/ParameterSetRegistry.h"

extern "C" {

ServerApiResult SERVER_API_CALL CreateParameterSet(int32_t *parameterSet) {
    // Tested before the counter moves, so a null pointer uses up no handle.
    if (parameterSet == nullptr) return ApiInvalidArgument;
    return sapi::Guarded([&] { return sapi::ParameterSets().Create(*parameterSet); });
}

void SERVER_API_CALL DestroyParameterSet(int32_t parameterSet) {
    sapi::GuardedVoid([&] { sapi::ParameterSets().Destroy(parameterSet); });
}

ServerApiResult SERVER_API_CALL SetParameter(int32_t parameterSet, const char *key, const ServerApiChar *value) {
    return sapi::Guarded([&] { return sapi::SetParameterText(parameterSet, key, value); });
}

ServerApiResult SERVER_API_CALL RemoveParameter(int32_t parameterSet, const char *key) {
    return sapi::Guarded([&] { return sapi::RemoveParameterEntry(parameterSet, key); });
}

ServerApiResult SERVER_API_CALL GetParameter(int32_t parameterSet, const char *key, ServerApiChar *text,
                                             uint32_t *length) {
    return sapi::Guarded([&] { return sapi::CopyParameterOut(parameterSet, key, text, length); });
}

ServerApiResult SERVER_API_CALL EnumerateParameters(int32_t parameterSet, ParameterCallback callback,
                                                    void *context) {
    return sapi::Guarded([&] { return sapi::EnumerateParameterSet(parameterSet, callback, context); });
}

}  // extern "C"
