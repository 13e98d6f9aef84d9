// Where a session's byte streams come from: TCP connections in the module,
// in-memory pipes in a test. The session never builds a socket itself; it
// asks for streams and wraps them in TLS where it must.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/SessionError.h"
#include "ftp/services/sockets/Socket.h"

namespace sapi::ftpclient {

// Active mode: where the server's data connection comes in.
class DataListener {
public:
    virtual ~DataListener() = default;
    // One connection from `expectedHost` (others are turned away); Timeout
    // when none came by the deadline.
    virtual NetStatus Accept(const SocketAddress &expectedHost, Deadline deadline, std::unique_ptr<ByteStream> &stream,
                             SocketAddress &peer) = 0;
};

// A passive-mode data connection begun and not yet waited for, so that the
// transfer command need not wait for it: the server listens already.
class PendingStream {
public:
    virtual ~PendingStream() = default;
    virtual NetStatus Finish(Deadline deadline, std::unique_ptr<ByteStream> &stream) = 0;
};

class StreamFactory {
public:
    virtual ~StreamFactory() = default;

    struct Connection {
        std::unique_ptr<ByteStream> stream;
        SocketAddress peer;
        SocketAddress local;
    };
    // The control connection: the first address of `host` that answers.
    virtual SessionError Connect(const std::string &host, uint16_t port, Deadline deadline, Connection &connection) = 0;
    // A passive-mode data connection.
    virtual NetStatus ConnectTo(const SocketAddress &address, Deadline deadline, std::unique_ptr<ByteStream> &stream) = 0;
    // The same, begun here and finished by the pending stream. By default
    // the connect is made here, whole.
    virtual NetStatus BeginConnectTo(const SocketAddress &address, Deadline deadline,
                                     std::unique_ptr<PendingStream> &pending);
    // An active-mode listener on `host`'s address, any port.
    virtual NetStatus Listen(const SocketAddress &host, std::unique_ptr<DataListener> &listener,
                             SocketAddress &bound) = 0;
};

// Plain TCP, through the operating system's sockets.
StreamFactory &TcpStreams();

}  // namespace sapi::ftpclient
