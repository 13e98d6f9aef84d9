// How long the client waits for the network. Fixed constants in the shipped
// module, chosen like WinInet's defaults, so that no call waits forever on a
// dead or stalled server; a test may shorten them for its own process.
#pragma once

#include <chrono>

namespace sapi::ftpclient {

using Milliseconds = std::chrono::milliseconds;

struct ClientTimeouts {
    Milliseconds connect{60'000};  // TCP connect, and an active-mode data connection to arrive
    Milliseconds receive{60'000};  // each wait for a reply or for a block of data
    Milliseconds send{60'000};     // each wait to send a command or a block of data
    Milliseconds reconnectPause{1000};  // before a second attempt to reconnect; twice that before a third
};

const ClientTimeouts &CurrentTimeouts();

// Test hook: replaces the timeouts for the whole process; returns the old ones.
ClientTimeouts SetTimeoutsForTesting(const ClientTimeouts &timeouts);

}  // namespace sapi::ftpclient
