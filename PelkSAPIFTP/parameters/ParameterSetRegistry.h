// The module's parameter sets, each under the handle CreateParameterSet gave it.
// Any thread may use them: every call holds Guard() while it looks a set up
// and reads or changes it, and never while it calls the host.
#pragma once

#include <cstdint>
#include <map>

#include "base/ResultCode.h"
#include "parameters/ParameterSet.h"
#include "platform/Mutex.h"

namespace sapi {

class ParameterSetRegistry {
public:
    // The module's registry starts at 1; tests may start elsewhere to reach the
    // wrap of the counter.
    explicit ParameterSetRegistry(int32_t firstHandle = 1) : nextHandle_(firstHandle) {}
    ParameterSetRegistry(const ParameterSetRegistry &) = delete;
    ParameterSetRegistry &operator=(const ParameterSetRegistry &) = delete;

    // Uses up the next handle number first, then registers an empty set under
    // it. ApiFailed, with `handle` untouched, when the number still names a set
    // (only once the counter has gone all the way round).
    ResultCode Create(int32_t &handle);
    // An unregistered handle is ignored.
    void Destroy(int32_t handle) noexcept;
    // Null for a handle that is not registered.
    ParameterSet *Find(int32_t handle) noexcept;
    Mutex &Guard() { return mutex_; }

private:
    Mutex mutex_;
    std::map<int32_t, ParameterSet> sets_;
    int32_t nextHandle_;
};

// The module's registry (defined with the rest of the module state).
ParameterSetRegistry &ParameterSets();

}  // namespace sapi
