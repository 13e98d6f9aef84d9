#include "ftp/services/wininet/ControlText.h"

#include <windows.h>

namespace sapi {

bool AcceptControlText(const WideChar *text) {
    if (IsSingleLine(text)) {
        return true;
    }
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

}  // namespace sapi
