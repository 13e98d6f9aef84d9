// The addresses of a server's name. The system's look-up cannot be
// interrupted and, with a name server that does not answer, takes as long as
// its own retries: a call that may be stopped (a reconnect) runs it on a
// thread of its own and stops waiting for it when stopped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/services/sockets/Socket.h"

namespace sapi::ftpclient {

// Every address of `host` (numeric or a name) with `port`; empty when the
// name does not resolve, or the call was stopped meanwhile.
std::vector<SocketAddress> LookUpName(const std::string &host, uint16_t port);

// Test hook: the look-up the client uses (the system's is Resolve); null puts
// the system's back. Returns the one it replaces.
using NameResolver = std::vector<SocketAddress> (*)(const std::string &host, uint16_t port);
NameResolver SetNameResolverForTesting(NameResolver resolver);

}  // namespace sapi::ftpclient
