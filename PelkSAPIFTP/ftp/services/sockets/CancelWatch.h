// A call on a session can be stopped from another thread (a host's interface
// thread closing the connection a worker is downloading on). The thread that
// runs the call watches the session's stop flag, and every wait on the
// network is cut into slices short enough to notice it within a fraction of a
// second; a stopped call's waits fail at once.
#pragma once

#include <atomic>

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::ftpclient {

// While one lives, this thread's waits end once `stop` is set.
class CancelWatch {
public:
    explicit CancelWatch(const std::atomic<bool> &stop);
    ~CancelWatch();
    CancelWatch(const CancelWatch &) = delete;
    CancelWatch &operator=(const CancelWatch &) = delete;

private:
    const std::atomic<bool> *outer_;
};

// Whether the call this thread runs may be stopped, and whether it was.
bool Watched();
bool Cancelled();
// The longest single wait: all of `wait`, or a slice of it while a call is
// watched.
Milliseconds WaitSlice(Milliseconds wait);
// Waits for `wait`, or until the call is stopped.
void PauseUnlessCancelled(Milliseconds wait);

}  // namespace sapi::ftpclient
