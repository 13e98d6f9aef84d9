// Slots 1 to 5: what the plug-in is and which parameters it knows.
#pragma once

#include <cstdint>

#include "ServerApi.h"

extern "C" {
ServerApiResult SERVER_API_CALL GetServerTypeName(ServerApiChar *text, uint32_t *length);
// No length: the host's buffer must hold 39 wide characters.
ServerApiResult SERVER_API_CALL GetServerTypeId(ServerApiChar *text);
ServerApiResult SERVER_API_CALL GetServerGroupName(ServerApiChar *text, uint32_t *length);
ServerApiResult SERVER_API_CALL DescribeServerParameters(int32_t parameterSet);
ServerApiResult SERVER_API_CALL DescribeAssetParameters(int32_t parameterSet);
}
