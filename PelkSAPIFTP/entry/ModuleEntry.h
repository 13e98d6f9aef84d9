// The module's entry: InitServerAPI's work (exported by InitServerAPI.cpp) and
// slot 0, ReleaseServerAPI.
#pragma once

#include <cstdint>

#include "ServerApi.h"
#include "base/ResultCode.h"

namespace sapi {

// ApiVersionMismatch unless version is 3, then ApiInvalidArgument for a null
// table pointer; then a fresh host-context buffer (ApiOutOfMemory or ApiFailed
// if it cannot be made, everything left as it was) and the table's address is
// stored. Every success hands out the same table.
ResultCode InitializeModule(int32_t version, const ServerApiFunctions **table) noexcept;

}  // namespace sapi

extern "C" {
// Frees the host-context buffer. Parameter sets and connections live on.
void SERVER_API_CALL ReleaseServerAPI(void);
}
