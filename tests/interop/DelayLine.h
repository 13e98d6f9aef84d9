// A relay of bytes with a delay (bench/delay_proxy.py) in front of a test server:
// every chunk on the control and passive data connections is held for half
// the round trip each way, so that late replies are the normal case. This
// kernel has no netem. Stopped (SIGTERM, then SIGKILL) when destroyed.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace sapi::interop {

class DelayLine {
public:
    // Throws when the proxy does not report its port within ten seconds.
    DelayLine(uint16_t serverPort, int roundTripMilliseconds);
    ~DelayLine();
    DelayLine(const DelayLine &) = delete;
    DelayLine &operator=(const DelayLine &) = delete;

    uint16_t port() const { return port_; }

private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

}  // namespace sapi::interop
