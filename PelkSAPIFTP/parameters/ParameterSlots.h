// Slots 6 to 11: the parameter-set operations, as the table calls them.
#pragma once

#include <cstdint>

#include "ServerApi.h"

extern "C" {
ServerApiResult SERVER_API_CALL CreateParameterSet(int32_t *parameterSet);
void SERVER_API_CALL DestroyParameterSet(int32_t parameterSet);
ServerApiResult SERVER_API_CALL SetParameter(int32_t parameterSet, const char *key, const ServerApiChar *value);
ServerApiResult SERVER_API_CALL RemoveParameter(int32_t parameterSet, const char *key);
ServerApiResult SERVER_API_CALL GetParameter(int32_t parameterSet, const char *key, ServerApiChar *text,
                                             uint32_t *length);
ServerApiResult SERVER_API_CALL EnumerateParameters(int32_t parameterSet, ParameterCallback callback,
                                                    void *context);
}
