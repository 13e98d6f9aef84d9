// The control connection: commands out, replies in, each wait bounded.
// Errors are WinInet's numbers (0 = done).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/protocol/ReplyReader.h"
#include "ftp/services/sockets/Socket.h"

namespace sapi::ftpclient {

class ControlConnection {
public:
    // Resolves host and connects to the first address that answers:
    // 12007 when the name does not resolve, 12029 when no address accepts,
    // 12002 when the connects time out.
    uint32_t Connect(const std::string &host, uint16_t port);
    // Sends one command line; CR LF is added here and must not be in `line`.
    uint32_t SendLine(std::string_view line);
    // The next reply, waiting at most `timeout` for it to complete.
    uint32_t ReadReply(FtpReply &reply, Milliseconds timeout);
    // Takes in what has already arrived, without waiting.
    void TakeAvailable();
    bool HasReply() const { return reader_.HasReply(); }
    void Close();
    bool IsOpen() const { return socket_.IsOpen(); }

    const SocketAddress &Peer() const { return peer_; }
    const SocketAddress &Local() const { return local_; }

private:
    uint32_t Receive(Milliseconds timeout);

    Socket socket_;
    ReplyReader reader_;
    SocketAddress peer_;
    SocketAddress local_;
};

}  // namespace sapi::ftpclient
