// TCP sockets with an owner (RAII): resolve, connect, listen and accept, and
// the readiness waits, each ending at a deadline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/services/sockets/Deadline.h"
#include "ftp/services/sockets/NetStatus.h"

namespace sapi::ftpclient {

class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() { Close(); }
    Socket(Socket &&other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket &operator=(Socket &&other) noexcept;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    int Fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

private:
    int fd_ = -1;
};

struct SocketAddress {
    // A sockaddr_storage, kept opaque so that no socket header (nor any of
    // Windows' macros that come with one) reaches the code above.
    alignas(8) unsigned char storage[128] = {};
    uint32_t length = 0;

    int Family() const;
    bool IsIpv6() const;
    uint16_t Port() const;
    void SetPort(uint16_t port);
    // The numeric host, "127.0.0.1" or "::1".
    std::string HostText() const;
    bool SameHost(const SocketAddress &other) const;
};

// What the last failed socket call on this thread means for a transfer.
NetStatus StatusOfLastSocketError();

// Every address of host (numeric or a name), with port; empty when the name
// does not resolve.
std::vector<SocketAddress> Resolve(const std::string &host, uint16_t port);

NetStatus ConnectSocket(const SocketAddress &address, Deadline deadline, Socket &connected);
// The same in two steps: the connect begun (without waiting), then waited for.
NetStatus BeginConnect(const SocketAddress &address, Socket &connecting);
NetStatus EndConnect(Socket &socket, Deadline deadline);
// A listening socket on `host` (any port), for an active-mode data connection.
NetStatus ListenOn(const SocketAddress &host, Socket &listener, SocketAddress &bound);
// Waits for one connection whose peer is on `expectedHost`; others are turned away.
NetStatus AcceptFrom(const Socket &listener, const SocketAddress &expectedHost, Deadline deadline,
                     Socket &accepted);

bool LocalAddress(const Socket &socket, SocketAddress &address);
bool PeerAddress(const Socket &socket, SocketAddress &address);

// Waits until the descriptor is readable (writable); Ok when it is.
NetStatus WaitReadable(int fd, Deadline deadline);
NetStatus WaitWritable(int fd, Deadline deadline);
NetStatus SendAll(const Socket &socket, const void *data, std::size_t size, Deadline deadline);
// Whatever is there, at least one byte. Closed at end of stream.
NetStatus ReceiveSome(const Socket &socket, void *buffer, std::size_t size, std::size_t &received,
                      Deadline deadline);

// The same waits measured from now, for callers that hold no deadline.
inline NetStatus ConnectSocket(const SocketAddress &address, Milliseconds wait, Socket &connected) {
    return ConnectSocket(address, DeadlineAfter(wait), connected);
}
inline NetStatus AcceptFrom(const Socket &listener, const SocketAddress &expectedHost, Milliseconds wait,
                            Socket &accepted) {
    return AcceptFrom(listener, expectedHost, DeadlineAfter(wait), accepted);
}
inline NetStatus SendAll(const Socket &socket, const void *data, std::size_t size, Milliseconds wait) {
    return SendAll(socket, data, size, DeadlineAfter(wait));
}
inline NetStatus ReceiveSome(const Socket &socket, void *buffer, std::size_t size, std::size_t &received,
                             Milliseconds wait) {
    return ReceiveSome(socket, buffer, size, received, DeadlineAfter(wait));
}

}  // namespace sapi::ftpclient
