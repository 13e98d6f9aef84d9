#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::ftpclient {

namespace {
ClientTimeouts &Timeouts() {
    static ClientTimeouts timeouts;
    return timeouts;
}
}  // namespace

const ClientTimeouts &CurrentTimeouts() { return Timeouts(); }

ClientTimeouts SetTimeoutsForTesting(const ClientTimeouts &timeouts) {
    const ClientTimeouts previous = Timeouts();
    Timeouts() = timeouts;
    return previous;
}

}  // namespace sapi::ftpclient
