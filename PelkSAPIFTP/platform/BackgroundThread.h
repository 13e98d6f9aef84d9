// A thread of the module's own for one short task that its caller may stop
// waiting for: a name look-up, which no socket call can interrupt. The caller
// either joins it once it has finished or abandons it; an abandoned task runs
// to its end on its own, and the module stays loaded for it (a host may
// unload the module the moment its call returns).
#pragma once

#include <cstdint>

namespace sapi {

class BackgroundThread {
public:
    BackgroundThread() = default;
    ~BackgroundThread();  // abandons a thread neither joined nor abandoned
    BackgroundThread(const BackgroundThread &) = delete;
    BackgroundThread &operator=(const BackgroundThread &) = delete;

    // Runs task(argument) on a new thread; false, with nothing started, when
    // no thread can be made.
    bool Start(void (*task)(void *), void *argument);
    // Waits for the task to end: a moment, for one known to have finished.
    void Join();
    void Abandon();

private:
    uintptr_t thread_ = 0;  // a pthread_t or a thread HANDLE; 0 for none
};

}  // namespace sapi
