// TCP sockets with an owner (RAII) and with a time limit on every wait.
#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::ftpclient {

enum class NetStatus { Ok, Timeout, Closed, Failed };

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
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    uint16_t Port() const;
    void SetPort(uint16_t port);
    // The numeric host, "127.0.0.1" or "::1".
    std::string HostText() const;
    bool SameHost(const SocketAddress &other) const;
};

// Every address of host (numeric or a name), with port; empty when the name
// does not resolve.
std::vector<SocketAddress> Resolve(const std::string &host, uint16_t port);

NetStatus ConnectSocket(const SocketAddress &address, Milliseconds timeout, Socket &connected);
// A listening socket on `host` (any port), for an active-mode data connection.
NetStatus ListenOn(const SocketAddress &host, Socket &listener, SocketAddress &bound);
// Waits for one connection whose peer is on `expectedHost`; others are turned away.
NetStatus AcceptFrom(const Socket &listener, const SocketAddress &expectedHost, Milliseconds timeout,
                     Socket &accepted);

bool LocalAddress(const Socket &socket, SocketAddress &address);
bool PeerAddress(const Socket &socket, SocketAddress &address);

// Waits up to `timeout` until the socket is readable; Ok when it is.
NetStatus WaitReadable(const Socket &socket, Milliseconds timeout);
NetStatus SendAll(const Socket &socket, const void *data, std::size_t size, Milliseconds timeout);
// Whatever is there, at least one byte, waiting at most `timeout`. Closed at end of stream.
NetStatus ReceiveSome(const Socket &socket, void *buffer, std::size_t size, std::size_t &received,
                      Milliseconds timeout);

// Data connections: kernel time limits on each receive and send, so that bulk
// transfers need one system call per block and no poll.
bool SetTransferTimeouts(const Socket &socket, Milliseconds receive, Milliseconds send);
// Fills the buffer (MSG_WAITALL) unless the stream ends first. Closed with
// `received` possibly above 0 at end of stream.
NetStatus ReceiveFill(const Socket &socket, void *buffer, std::size_t size, std::size_t &received);
NetStatus SendBlock(const Socket &socket, const void *data, std::size_t size, std::size_t &sent);

}  // namespace sapi::ftpclient
