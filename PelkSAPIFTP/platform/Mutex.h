// Locks for state that more than one host thread may reach. std::mutex and
// std::recursive_mutex where the C++ runtime has them; the MinGW runtime the
// Windows DLL links in (win32 threads) has neither, so there a slim
// reader/writer lock and a critical section stand in.
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
    bool try_lock();
    void unlock();

private:
    void *lock_ = nullptr;  // an SRWLOCK: one pointer, and SRWLOCK_INIT is null
};

// Taken again by the thread that holds it, as often as it likes.
class RecursiveMutex {
public:
    RecursiveMutex();
    ~RecursiveMutex();
    RecursiveMutex(const RecursiveMutex &) = delete;
    RecursiveMutex &operator=(const RecursiveMutex &) = delete;

    void lock();
    void unlock();

private:
    alignas(8) unsigned char section_[48];  // a CRITICAL_SECTION: 24 bytes on 32-bit Windows, 40 on 64-bit
};
#else
using Mutex = std::mutex;
using RecursiveMutex = std::recursive_mutex;
#endif

}  // namespace sapi
