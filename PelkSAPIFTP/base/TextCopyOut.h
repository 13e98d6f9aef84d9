// TextCopyOut: how every operation hands text to the host. The length is the
// host's capacity in 16-bit units (terminator included) on entry and the needed
// capacity on return.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/ResultCode.h"
#include "platform/WideText.h"

namespace sapi {

// ApiInvalidArgument for a null length; ApiOk with the needed capacity for a
// null destination; ApiBufferTooSmall (destination untouched) when the capacity
// is short; otherwise the text and its terminator are copied.
ResultCode TextCopyOut(WideView text, WideChar *destination, uint32_t *length);

// The same rule for a text that is written straight into the host's buffer
// rather than copied from one of ours: `units` long, put there by
// write(destination) only when it fits.
template <typename Write>
ResultCode TextCopyOutBy(std::size_t units, Write &&write, WideChar *destination, uint32_t *length) {
    if (length == nullptr) return ApiInvalidArgument;
    // A text whose size with terminator cannot be told in 32 bits cannot be
    // handed out either.
    if (units >= UINT32_MAX) return ApiFailed;
    const auto needed = static_cast<uint32_t>(units + 1);
    if (destination == nullptr) {
        *length = needed;
        return ApiOk;
    }
    if (*length < needed) {
        *length = needed;
        return ApiBufferTooSmall;
    }
    write(destination);
    destination[units] = 0;
    *length = needed;
    return ApiOk;
}

}  // namespace sapi
