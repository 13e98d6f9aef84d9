// TextCopyOut: how every operation hands text to the host. The length is the
// host's capacity in 16-bit units (terminator included) on entry and the needed
// capacity on return.
#pragma once

#include <cstdint>

#include "base/ResultCode.h"
#include "platform/WideText.h"

namespace sapi {

// ApiInvalidArgument for a null length; ApiOk with the needed capacity for a
// null destination; ApiBufferTooSmall (destination untouched) when the capacity
// is short; otherwise the text and its terminator are copied.
ResultCode TextCopyOut(WideView text, WideChar *destination, uint32_t *length);

}  // namespace sapi
