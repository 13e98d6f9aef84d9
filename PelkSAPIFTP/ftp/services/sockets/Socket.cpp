#include "ftp/services/sockets/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sapi::ftpclient {

namespace {

int PollMilliseconds(Deadline deadline) {
    const auto left = TimeLeft(deadline).count();
    return static_cast<int>(left > 3'600'000 ? 3'600'000 : left);
}

// Polls one descriptor until an event or the deadline; retries on signals.
NetStatus PollUntil(int fd, short events, Deadline deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, PollMilliseconds(deadline));
        if (ready > 0) return NetStatus::Ok;
        if (ready == 0) return NetStatus::Timeout;
        if (errno != EINTR) return NetStatus::Failed;
    }
}

bool SetBlocking(int fd, bool blocking) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

NetStatus StatusOfErrno() {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return NetStatus::Timeout;
    if (errno == EPIPE || errno == ECONNRESET) return NetStatus::Closed;
    return NetStatus::Failed;
}


}  // namespace

Socket &Socket::operator=(Socket &&other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

uint16_t SocketAddress::Port() const {
    if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6 &>(storage).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in &>(storage).sin_port);
}

void SocketAddress::SetPort(uint16_t port) {
    if (Family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6 &>(storage).sin6_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in &>(storage).sin_port = htons(port);
    }
}

std::string SocketAddress::HostText() const {
    char text[INET6_ADDRSTRLEN] = {};
    const void *host = Family() == AF_INET6
                           ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 &>(storage).sin6_addr)
                           : static_cast<const void *>(&reinterpret_cast<const sockaddr_in &>(storage).sin_addr);
    if (::inet_ntop(Family(), host, text, sizeof text) == nullptr) return {};
    return text;
}

bool SocketAddress::SameHost(const SocketAddress &other) const {
    if (Family() != other.Family()) return false;
    if (Family() == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6 &>(storage).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6 &>(other.storage).sin6_addr,
                           sizeof(in6_addr)) == 0;
    }
    return reinterpret_cast<const sockaddr_in &>(storage).sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in &>(other.storage).sin_addr.s_addr;
}

std::vector<SocketAddress> Resolve(const std::string &host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: on a host whose only interface is loopback it would
    // hide 127.0.0.1 and ::1, the very addresses a local server is on.
    addrinfo *found = nullptr;
    std::vector<SocketAddress> addresses;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        address.SetPort(port);
        addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

NetStatus ConnectSocket(const SocketAddress &address, Deadline deadline, Socket &connected) {
    Socket socket(::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.IsOpen()) return NetStatus::Failed;
    if (::connect(socket.Fd(), reinterpret_cast<const sockaddr *>(&address.storage), address.length) != 0) {
        if (errno != EINPROGRESS) return NetStatus::Failed;
        const NetStatus waited = PollUntil(socket.Fd(), POLLOUT, deadline);
        if (waited != NetStatus::Ok) return waited;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            return NetStatus::Failed;
        }
    }
    if (!SetBlocking(socket.Fd(), true)) return NetStatus::Failed;
    const int one = 1;
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connected = std::move(socket);
    return NetStatus::Ok;
}

NetStatus ListenOn(const SocketAddress &host, Socket &listener, SocketAddress &bound) {
    Socket socket(::socket(host.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.IsOpen()) return NetStatus::Failed;
    SocketAddress any = host;
    any.SetPort(0);
    if (::bind(socket.Fd(), reinterpret_cast<const sockaddr *>(&any.storage), any.length) != 0 ||
        ::listen(socket.Fd(), 1) != 0 || !LocalAddress(socket, bound)) {
        return NetStatus::Failed;
    }
    listener = std::move(socket);
    return NetStatus::Ok;
}

NetStatus AcceptFrom(const Socket &listener, const SocketAddress &expectedHost, Deadline deadline,
                     Socket &accepted) {
    for (;;) {
        const NetStatus waited = PollUntil(listener.Fd(), POLLIN, deadline);
        if (waited != NetStatus::Ok) return waited;
        Socket socket(::accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!socket.IsOpen()) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return NetStatus::Failed;
        }
        SocketAddress peer;
        // Only the server may deliver the data: a connection from any other
        // host is someone else's attempt to inject or steal a transfer.
        if (PeerAddress(socket, peer) && peer.SameHost(expectedHost)) {
            accepted = std::move(socket);
            return NetStatus::Ok;
        }
    }
}

bool LocalAddress(const Socket &socket, SocketAddress &address) {
    address.length = sizeof address.storage;
    return ::getsockname(socket.Fd(), reinterpret_cast<sockaddr *>(&address.storage), &address.length) == 0;
}

bool PeerAddress(const Socket &socket, SocketAddress &address) {
    address.length = sizeof address.storage;
    return ::getpeername(socket.Fd(), reinterpret_cast<sockaddr *>(&address.storage), &address.length) == 0;
}

NetStatus WaitReadable(int fd, Deadline deadline) { return PollUntil(fd, POLLIN, deadline); }

NetStatus SendAll(const Socket &socket, const void *data, std::size_t size, Deadline deadline) {
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const NetStatus waited = PollUntil(socket.Fd(), POLLOUT, deadline);
        if (waited != NetStatus::Ok) return waited;
        const ssize_t sent = ::send(socket.Fd(), bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return StatusOfErrno();
        }
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return NetStatus::Ok;
}

NetStatus ReceiveSome(const Socket &socket, void *buffer, std::size_t size, std::size_t &received,
                      Deadline deadline) {
    received = 0;
    for (;;) {
        const NetStatus waited = PollUntil(socket.Fd(), POLLIN, deadline);
        if (waited != NetStatus::Ok) return waited;
        const ssize_t got = ::recv(socket.Fd(), buffer, size, MSG_DONTWAIT);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return NetStatus::Ok;
        }
        if (got == 0) return NetStatus::Closed;
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return StatusOfErrno();
    }
}

}  // namespace sapi::ftpclient
