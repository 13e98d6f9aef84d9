// The module boundary: nothing leaves a slot as an exception. Every slot body
// runs inside Guarded, which turns an exhausted heap into ApiOutOfMemory and any
// other exception into ApiFailed. Handles opened by the body are closed by their
// owners' destructors while the exception unwinds.
#pragma once

#include <new>
#include <utility>

#include "base/HostCall.h"
#include "base/ResultCode.h"

namespace sapi {

template <typename Body>
ResultCode Guarded(Body &&body) noexcept {
    const HostCallScope call;
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc &) {
        return ApiOutOfMemory;
    } catch (...) {
        return ApiFailed;
    }
}

// For the slots that return nothing: every failure is absorbed.
template <typename Body>
void GuardedVoid(Body &&body) noexcept {
    const HostCallScope call;
    try {
        std::forward<Body>(body)();
    } catch (...) {
    }
}

}  // namespace sapi
