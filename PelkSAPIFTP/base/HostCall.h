// Every call a host makes into the module gets a number of its own, for what
// is counted per call below the slots: the logins a client may spend opening
// a dropped connection again. A callback's calls into the module run inside
// the call that made the callback and share its number.
#pragma once

#include <atomic>
#include <cstdint>

namespace sapi {

namespace hostcall {
inline std::atomic<uint64_t> last{0};
// Plain integers: a thread_local with a destructor is what the Windows
// runtime must not have.
inline thread_local uint64_t current = 0;
inline thread_local int depth = 0;
}  // namespace hostcall

class HostCallScope {
public:
    HostCallScope() {
        if (hostcall::depth++ == 0) hostcall::current = ++hostcall::last;
    }
    ~HostCallScope() {
        if (--hostcall::depth == 0) hostcall::current = 0;
    }
    HostCallScope(const HostCallScope &) = delete;
    HostCallScope &operator=(const HostCallScope &) = delete;
};

// The number of the host's call this thread runs; 0 outside any.
inline uint64_t CurrentHostCall() { return hostcall::current; }

}  // namespace sapi
