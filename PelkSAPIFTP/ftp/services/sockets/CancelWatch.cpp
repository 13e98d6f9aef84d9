#include "ftp/services/sockets/CancelWatch.h"

#include <algorithm>

#include "ftp/services/sockets/Deadline.h"
#include "ftp/services/sockets/SocketSystem.h"

namespace sapi::ftpclient {

namespace {

constexpr Milliseconds slice{100};

// A plain pointer: a thread_local with a destructor is what the Windows
// runtime must not have (see LastError.cpp).
thread_local const std::atomic<bool> *watched = nullptr;

}  // namespace

CancelWatch::CancelWatch(const std::atomic<bool> &stop) : outer_(watched) { watched = &stop; }

CancelWatch::~CancelWatch() { watched = outer_; }

bool Watched() { return watched != nullptr; }

bool Cancelled() { return watched != nullptr && watched->load(std::memory_order_relaxed); }

Milliseconds WaitSlice(Milliseconds wait) { return watched != nullptr ? std::min(wait, slice) : wait; }

void PauseUnlessCancelled(Milliseconds wait) {
    const Deadline end = DeadlineAfter(wait);
    while (!Cancelled() && !Passed(end)) os::Pause(WaitSlice(TimeLeft(end)));
}

}  // namespace sapi::ftpclient
