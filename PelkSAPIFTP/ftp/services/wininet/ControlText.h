// The line-break guard of the WinInet calls, with WinInet's way of failing.
#pragma once

#include "ftp/services/ControlText.h"
#include "platform/WideText.h"

namespace sapi {

// IsSingleLine, and when it fails, SetLastError(ERROR_INVALID_PARAMETER).
bool AcceptControlText(const WideChar *text);

}  // namespace sapi
