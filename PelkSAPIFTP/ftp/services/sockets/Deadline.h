// The moment a wait must end. A wait is given one deadline when it starts and
// keeps it: bytes that trickle in or out do not buy it more time, so a server
// that sends a byte a minute cannot hold a call for ever.
#pragma once

#include <chrono>

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::ftpclient {

using SteadyClock = std::chrono::steady_clock;
using Deadline = SteadyClock::time_point;

inline Deadline DeadlineAfter(Milliseconds wait) { return SteadyClock::now() + wait; }

// What is left of the wait, never below zero.
inline Milliseconds TimeLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? left : Milliseconds{0};
}

inline bool Passed(Deadline deadline) { return SteadyClock::now() >= deadline; }

}  // namespace sapi::ftpclient
