// One data connection, from the command that announces it to its close.
#pragma once

#include <cstdint>
#include <memory>

#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/StreamFactory.h"

namespace sapi::ftpclient {

struct DataChannel {
    std::unique_ptr<ByteStream> data;
    std::unique_ptr<DataListener> listener;  // active mode, until the server connects
    std::unique_ptr<PendingStream> pending;  // passive mode, until the connect is waited for
    SocketAddress peer;                      // where the pending connect goes
    uint64_t moved = 0;                      // bytes either way, for the trace
    double openedAt = 0.0;                   // trace seconds
    bool IsOpen() const { return data && data->IsOpen(); }
    // Open, or on its way to it without the server's help.
    bool Started() const { return IsOpen() || pending; }
};

}  // namespace sapi::ftpclient
