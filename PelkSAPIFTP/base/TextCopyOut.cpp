#include "base/TextCopyOut.h"

#include <algorithm>
#include <limits>

namespace sapi {

ResultCode TextCopyOut(WideView text, WideChar *destination, uint32_t *length) {
    if (length == nullptr) return ApiInvalidArgument;
    // A text whose size with terminator cannot be told in 32 bits cannot be
    // handed out either.
    if (text.size() >= std::numeric_limits<uint32_t>::max()) return ApiFailed;
    const auto needed = static_cast<uint32_t>(text.size() + 1);
    if (destination == nullptr) {
        *length = needed;
        return ApiOk;
    }
    if (*length < needed) {
        *length = needed;
        return ApiBufferTooSmall;
    }
    std::copy(text.begin(), text.end(), destination);
    destination[text.size()] = 0;
    *length = needed;
    return ApiOk;
}

}  // namespace sapi
