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
    uint64_t moved = 0;                      // bytes either way, for the trace
    double openedAt = 0.0;                   // trace seconds
    bool IsOpen() const { return data && data->IsOpen(); }
};

}  // namespace sapi::ftpclient
