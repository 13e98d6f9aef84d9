#include "parameters/ParameterSetRegistry.h"

#include <mutex>
#include <utility>

#include "base/HandleNumbers.h"

namespace sapi {

ResultCode ParameterSetRegistry::Create(int32_t &handle) {
    std::lock_guard lock(mutex_);
    const int32_t newHandle = nextHandle_;
    nextHandle_ = HandleAfter(nextHandle_);
    if (!sets_.try_emplace(newHandle).second) return ApiFailed;
    handle = newHandle;
    return ApiOk;
}

void ParameterSetRegistry::Destroy(int32_t handle) noexcept {
    std::lock_guard lock(mutex_);
    sets_.erase(handle);
}

ParameterSet *ParameterSetRegistry::Find(int32_t handle) noexcept {
    const auto found = sets_.find(handle);
    return found == sets_.end() ? nullptr : &found->second;
}

}  // namespace sapi
