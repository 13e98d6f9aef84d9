// ServerApiFunctions: the 27 operations, in slot order.
#pragma once

#include "ServerApi.h"

namespace sapi {

// The one table; its address never changes.
const ServerApiFunctions &ServerApiTable() noexcept;

}  // namespace sapi
