// Every wait of the plug-in goes through here, so tests can count the waits
// instead of sitting through them. The shipped module sleeps for real.
#pragma once

#include <cstdint>

namespace sapi {

using SleepFunction = void (*)(uint32_t milliseconds);

void SleepMilliseconds(uint32_t milliseconds);

// Replaces the sleep function; returns the previous one. Null restores the real one.
SleepFunction SetSleepFunction(SleepFunction function);

}  // namespace sapi
