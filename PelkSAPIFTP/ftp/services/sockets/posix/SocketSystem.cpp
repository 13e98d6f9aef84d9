#include "ftp/services/sockets/SocketSystem.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace sapi::ftpclient::os {

SocketError LastError() {
    switch (errno) {
    case 0: return SocketError::None;
    case EINTR: return SocketError::Interrupted;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return SocketError::WouldBlock;
    case EINPROGRESS: return SocketError::InProgress;
    case EPIPE:
    case ECONNRESET: return SocketError::Closed;
    case ECONNABORTED: return SocketError::Aborted;
    default: return SocketError::Other;
    }
}

void ClearLastError() { errno = 0; }

bool StartSockets() { return true; }

int OpenStreamSocket(int family, bool nonBlocking) {
    return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

void CloseSocket(int socket) { ::close(socket); }

void ShutdownSending(int socket) { ::shutdown(socket, SHUT_WR); }

bool SetBlocking(int socket, bool blocking) {
    const int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0) return false;
    return ::fcntl(socket, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

void SetNoDelay(int socket) {
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool StartConnect(int socket, const sockaddr *address, SocketLength length) {
    return ::connect(socket, address, length) == 0;
}

int ConnectOutcome(int socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -1;
    return error;
}

int AcceptConnection(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

bool ListenAt(int socket, const sockaddr *address, SocketLength length) {
    return ::bind(socket, address, length) == 0 && ::listen(socket, 1) == 0;
}

bool AddressOf(int socket, bool peer, sockaddr *address, SocketLength *length) {
    return (peer ? ::getpeername(socket, address, length) : ::getsockname(socket, address, length)) == 0;
}

int WaitFor(int socket, Readiness wanted, Milliseconds wait) {
    pollfd entry{socket, static_cast<short>(wanted == Readiness::Read ? POLLIN : POLLOUT), 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count()));
}

void Pause(Milliseconds wait) { ::poll(nullptr, 0, static_cast<int>(wait.count())); }

bool ArmTimeout(int socket, Readiness direction, Milliseconds wait) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(wait.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((wait.count() % 1000) * 1000);
    const int option = direction == Readiness::Read ? SO_RCVTIMEO : SO_SNDTIMEO;
    return ::setsockopt(socket, SOL_SOCKET, option, &value, sizeof value) == 0;
}

IoResult ReceiveBytes(int socket, void *buffer, std::size_t size, ReceiveMode mode) {
    const int flags = mode == ReceiveMode::NoWait ? MSG_DONTWAIT : mode == ReceiveMode::Fill ? MSG_WAITALL : 0;
    return ::recv(socket, buffer, size, flags);
}

IoResult SendBytes(int socket, const void *data, std::size_t size, bool noWait) {
    return ::send(socket, data, size, MSG_NOSIGNAL | (noWait ? MSG_DONTWAIT : 0));
}

IoResult SendUrgentByte(int socket, char byte) {
    return ::send(socket, &byte, 1, MSG_OOB | MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace sapi::ftpclient::os
