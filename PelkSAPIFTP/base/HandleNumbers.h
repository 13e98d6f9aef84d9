// How the module numbers the handles it gives a host.
#pragma once

#include <cstdint>

namespace sapi {

// The counter wraps like the 32-bit number it is, but steps over 0: hosts take
// a zero handle for "none", so 0 never names anything.
constexpr int32_t HandleAfter(int32_t handle) {
    const auto next = static_cast<int32_t>(static_cast<uint32_t>(handle) + 1U);
    return next == 0 ? 1 : next;
}

// `candidate`, or the first number after it that is neither 0 nor in use: once
// the counter has gone all the way round, a number still naming something
// must not be handed out again.
template <typename InUse>
int32_t FreeHandleFrom(int32_t candidate, const InUse &inUse) {
    while (candidate == 0 || inUse(candidate)) candidate = HandleAfter(candidate);
    return candidate;
}

}  // namespace sapi
