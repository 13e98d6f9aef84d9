#include "ftp/services/sockets/Socket.h"

#include <cstring>

#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/SocketSystem.h"

namespace sapi::ftpclient {

namespace {

using os::Readiness;
using os::SocketError;

Milliseconds PollWait(Deadline deadline) {
    const Milliseconds left = TimeLeft(deadline);
    return left > Milliseconds{3'600'000} ? Milliseconds{3'600'000} : left;
}

// Waits on one socket until it is ready or the deadline; retries on signals.
// A call stopped from another thread fails here, ready or not.
NetStatus PollUntil(int fd, Readiness wanted, Deadline deadline) {
    for (;;) {
        if (Cancelled()) return NetStatus::Failed;
        const int ready = os::WaitFor(fd, wanted, WaitSlice(PollWait(deadline)));
        if (ready > 0) return Cancelled() ? NetStatus::Failed : NetStatus::Ok;
        if (ready == 0) {
            if (Passed(deadline)) return NetStatus::Timeout;
            continue;
        }
        if (os::LastError() != SocketError::Interrupted) return NetStatus::Failed;
    }
}

bool RetryAfter(SocketError error) { return error == SocketError::Interrupted || error == SocketError::WouldBlock; }

}  // namespace

NetStatus StatusOfLastSocketError() {
    const SocketError error = os::LastError();
    if (error == SocketError::WouldBlock) return NetStatus::Timeout;
    if (error == SocketError::Closed) return NetStatus::Closed;
    return NetStatus::Failed;
}

Socket &Socket::operator=(Socket &&other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Socket::Close() {
    if (fd_ >= 0) os::CloseSocket(fd_);
    fd_ = -1;
}

static_assert(sizeof(SocketAddress::storage) >= sizeof(sockaddr_storage) &&
              alignof(SocketAddress) >= alignof(sockaddr_storage));

int SocketAddress::Family() const { return reinterpret_cast<const sockaddr_storage &>(storage).ss_family; }

bool SocketAddress::IsIpv6() const { return Family() == AF_INET6; }

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
    if (!os::StartSockets()) return addresses;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo *entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress address;
        std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
        address.length = static_cast<uint32_t>(entry->ai_addrlen);
        address.SetPort(port);
        addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

NetStatus BeginConnect(const SocketAddress &address, Socket &connecting) {
    Socket socket(os::OpenStreamSocket(address.Family(), true));
    if (!socket.IsOpen()) return NetStatus::Failed;
    if (!os::StartConnect(socket.Fd(), reinterpret_cast<const sockaddr *>(&address.storage),
                          static_cast<os::SocketLength>(address.length)) &&
        os::LastError() != SocketError::InProgress) {
        return NetStatus::Failed;
    }
    connecting = std::move(socket);
    return NetStatus::Ok;
}

NetStatus EndConnect(Socket &socket, Deadline deadline) {
    const NetStatus waited = PollUntil(socket.Fd(), Readiness::Write, deadline);
    if (waited != NetStatus::Ok) return waited;
    if (os::ConnectOutcome(socket.Fd()) != 0) return NetStatus::Failed;
    if (!os::SetBlocking(socket.Fd(), true)) return NetStatus::Failed;
    os::SetNoDelay(socket.Fd());
    return NetStatus::Ok;
}

NetStatus ConnectSocket(const SocketAddress &address, Deadline deadline, Socket &connected) {
    Socket socket;
    NetStatus status = BeginConnect(address, socket);
    if (status == NetStatus::Ok) status = EndConnect(socket, deadline);
    if (status == NetStatus::Ok) connected = std::move(socket);
    return status;
}

NetStatus ListenOn(const SocketAddress &host, Socket &listener, SocketAddress &bound) {
    Socket socket(os::OpenStreamSocket(host.Family(), false));
    if (!socket.IsOpen()) return NetStatus::Failed;
    SocketAddress any = host;
    any.SetPort(0);
    if (!os::ListenAt(socket.Fd(), reinterpret_cast<const sockaddr *>(&any.storage),
                      static_cast<os::SocketLength>(any.length)) ||
        !LocalAddress(socket, bound)) {
        return NetStatus::Failed;
    }
    listener = std::move(socket);
    return NetStatus::Ok;
}

NetStatus AcceptFrom(const Socket &listener, const SocketAddress &expectedHost, Deadline deadline,
                     Socket &accepted) {
    for (;;) {
        const NetStatus waited = PollUntil(listener.Fd(), Readiness::Read, deadline);
        if (waited != NetStatus::Ok) return waited;
        Socket socket(os::AcceptConnection(listener.Fd()));
        if (!socket.IsOpen()) {
            const SocketError error = os::LastError();
            if (error == SocketError::Interrupted || error == SocketError::Aborted) continue;
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

namespace {

bool AddressOf(const Socket &socket, bool peer, SocketAddress &address) {
    os::SocketLength length = sizeof address.storage;
    const bool known = os::AddressOf(socket.Fd(), peer, reinterpret_cast<sockaddr *>(&address.storage), &length);
    address.length = static_cast<uint32_t>(length);
    return known;
}

}  // namespace

bool LocalAddress(const Socket &socket, SocketAddress &address) { return AddressOf(socket, false, address); }

bool PeerAddress(const Socket &socket, SocketAddress &address) { return AddressOf(socket, true, address); }

NetStatus WaitReadable(int fd, Deadline deadline) { return PollUntil(fd, Readiness::Read, deadline); }
NetStatus WaitWritable(int fd, Deadline deadline) { return PollUntil(fd, Readiness::Write, deadline); }

NetStatus SendAll(const Socket &socket, const void *data, std::size_t size, Deadline deadline) {
    const auto *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const NetStatus waited = PollUntil(socket.Fd(), Readiness::Write, deadline);
        if (waited != NetStatus::Ok) return waited;
        const os::IoResult sent = os::SendBytes(socket.Fd(), bytes, size, true);
        if (sent < 0) {
            if (RetryAfter(os::LastError())) continue;
            return StatusOfLastSocketError();
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
        const NetStatus waited = PollUntil(socket.Fd(), Readiness::Read, deadline);
        if (waited != NetStatus::Ok) return waited;
        const os::IoResult got = os::ReceiveBytes(socket.Fd(), buffer, size, os::ReceiveMode::NoWait);
        if (got > 0) {
            received = static_cast<std::size_t>(got);
            return NetStatus::Ok;
        }
        if (got == 0) return NetStatus::Closed;
        if (!RetryAfter(os::LastError())) return StatusOfLastSocketError();
    }
}

}  // namespace sapi::ftpclient
