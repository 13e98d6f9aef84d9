#include "platform/Sleep.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#ifndef SAPI_SLEEP_DIVISOR
#define SAPI_SLEEP_DIVISOR 1
#endif

namespace sapi {

namespace {

void RealSleep(uint32_t milliseconds) {
    milliseconds /= SAPI_SLEEP_DIVISOR;
#if defined(_WIN32)
    ::Sleep(milliseconds);
#else
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
#endif
}

SleepFunction activeSleep = RealSleep;

}  // namespace

void SleepMilliseconds(uint32_t milliseconds) { activeSleep(milliseconds); }

SleepFunction SetSleepFunction(SleepFunction function) {
    const SleepFunction previous = activeSleep;
    activeSleep = function != nullptr ? function : RealSleep;
    return previous;
}

}  // namespace sapi
