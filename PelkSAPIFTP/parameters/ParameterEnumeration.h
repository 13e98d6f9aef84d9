// EnumerateParameters: walks a set in key order, calling the host for each entry.
#pragma once

#include <cstdint>

#include "ServerApi.h"
#include "base/ResultCode.h"

namespace sapi {

// ApiInvalidArgument for a null callback, ApiFailed for an unregistered set,
// otherwise ApiOk whether the walk ran to the end or the host stopped it.
ResultCode EnumerateParameterSet(int32_t parameterSet, ParameterCallback callback, void *context);

}  // namespace sapi
