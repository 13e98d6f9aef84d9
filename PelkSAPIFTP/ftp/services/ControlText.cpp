#include "ftp/services/ControlText.h"

namespace sapi {

bool IsSingleLine(const WideChar *text) {
    if (text == nullptr) {
        return true;
    }
    for (; *text != 0; ++text) {
        if (*text == WideChar{'\r'} || *text == WideChar{'\n'}) {
            return false;
        }
    }
    return true;
}

}  // namespace sapi
