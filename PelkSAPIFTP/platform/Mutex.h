// A lock for state that more than one host thread may reach. std::mutex where
// the C++ runtime has one; the MinGW runtime the Windows DLL links in (win32
// threads) has none, so there a slim reader/writer lock stands in.
#pragma once

#if !defined(_WIN32)
#include <mutex>
#endif

namespace sapi {

#if defined(_WIN32)
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;

    void lock();
    void unlock();

private:
    void *lock_ = nullptr;  // an SRWLOCK: one pointer, and SRWLOCK_INIT is null
};
#else
using Mutex = std::mutex;
#endif

}  // namespace sapi
