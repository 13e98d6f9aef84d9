#include "parameters/ParameterSetRegistry.h"

#include <utility>

namespace sapi {

namespace {

// The counter wraps like the 32-bit number it is, but steps over 0: hosts take
// a zero handle for "no set", so 0 never names one.
int32_t HandleAfter(int32_t handle) {
    const auto next = static_cast<int32_t>(static_cast<uint32_t>(handle) + 1U);
    return next == 0 ? 1 : next;
}

}  // namespace

ResultCode ParameterSetRegistry::Create(int32_t &handle) {
    const int32_t newHandle = nextHandle_;
    nextHandle_ = HandleAfter(nextHandle_);
    if (!sets_.try_emplace(newHandle).second) return ApiFailed;
    handle = newHandle;
    return ApiOk;
}

void ParameterSetRegistry::Destroy(int32_t handle) noexcept { sets_.erase(handle); }

ParameterSet *ParameterSetRegistry::Find(int32_t handle) noexcept {
    const auto found = sets_.find(handle);
    return found == sets_.end() ? nullptr : &found->second;
}

}  // namespace sapi
