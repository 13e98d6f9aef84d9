// ResultCode: the signed 32-bit result of every operation; the values are the
// host's, from ServerApi.h.
#pragma once

#include <cstdint>

#include "ServerApi.h"

namespace sapi {
using ResultCode = int32_t;
}  // namespace sapi
