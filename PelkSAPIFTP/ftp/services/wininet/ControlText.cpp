#include "ftp/services/wininet/ControlText.h"

#include <windows.h>

namespace sapi {

bool IsSingleLine(const WideChar *text) {
    if (text == nullptr) {
        return true;
    }
    for (; *text != 0; ++text) {
        if (*text == L'\r' || *text == L'\n') {
            return false;
        }
    }
    return true;
}

bool AcceptControlText(const WideChar *text) {
    if (IsSingleLine(text)) {
        return true;
    }
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

}  // namespace sapi
