#include "ftp/services/sockets/SocketSystem.h"

#include <climits>

namespace sapi::ftpclient::os {

namespace {

SOCKET Native(int socket) { return static_cast<SOCKET>(static_cast<unsigned int>(socket)); }
int FromNative(SOCKET socket) { return socket == INVALID_SOCKET ? invalidSocket : static_cast<int>(socket); }

// Winsock takes int lengths; transfers hand it at most a block at a time.
int Length(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

bool SetNonBlocking(int socket, bool nonBlocking) {
    u_long mode = nonBlocking ? 1 : 0;
    return ::ioctlsocket(Native(socket), static_cast<long>(FIONBIO), &mode) == 0;
}

// Winsock has no per-call MSG_DONTWAIT: the socket is made non-blocking for
// the one call, its error kept across the switch back.
template <typename Call>
IoResult WithoutWaiting(int socket, Call call) {
    if (!SetNonBlocking(socket, true)) return SOCKET_ERROR;
    const IoResult result = call();
    const int error = ::WSAGetLastError();
    SetNonBlocking(socket, false);
    ::WSASetLastError(error);
    return result;
}

}  // namespace

SocketError LastError() {
    switch (::WSAGetLastError()) {
    case 0: return SocketError::None;
    case WSAEINTR: return SocketError::Interrupted;
    // A receive or send whose SO_RCVTIMEO/SO_SNDTIMEO ran out fails with
    // WSAETIMEDOUT where POSIX says EAGAIN.
    case WSAEWOULDBLOCK:
    case WSAETIMEDOUT: return SocketError::WouldBlock;
    case WSAEINPROGRESS: return SocketError::InProgress;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN: return SocketError::Closed;
    default: return SocketError::Other;
    }
}

void ClearLastError() { ::WSASetLastError(0); }

// Started once and never cleaned up: WSACleanup must not run while the DLL
// unloads (the loader lock is held), and Winsock counts each start anyway.
bool StartSockets() {
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

int OpenStreamSocket(int family, bool nonBlocking) {
    if (!StartSockets()) return invalidSocket;
    SOCKET socket = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {  // before Windows 7 SP1
        socket = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    }
    const int result = FromNative(socket);
    if (result != invalidSocket && nonBlocking && !SetNonBlocking(result, true)) {
        CloseSocket(result);
        return invalidSocket;
    }
    return result;
}

void CloseSocket(int socket) { ::closesocket(Native(socket)); }

void ShutdownSending(int socket) { ::shutdown(Native(socket), SD_SEND); }

bool SetBlocking(int socket, bool blocking) { return SetNonBlocking(socket, !blocking); }

void SetNoDelay(int socket) {
    const BOOL one = TRUE;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&one), sizeof one);
}

bool StartConnect(int socket, const sockaddr *address, SocketLength length) {
    if (::connect(Native(socket), address, length) == 0) return true;
    // A non-blocking connect under way says WSAEWOULDBLOCK on Winsock.
    if (::WSAGetLastError() == WSAEWOULDBLOCK) ::WSASetLastError(WSAEINPROGRESS);
    return false;
}

int ConnectOutcome(int socket) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(Native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length) != 0) {
        return -1;
    }
    return error;
}

int AcceptConnection(int listener) {
    const int accepted = FromNative(::accept(Native(listener), nullptr, nullptr));
    // Winsock reports a connection reset before it was taken as WSAECONNRESET.
    if (accepted == invalidSocket && ::WSAGetLastError() == WSAECONNRESET) ::WSASetLastError(WSAECONNABORTED);
    return accepted;
}

bool ListenAt(int socket, const sockaddr *address, SocketLength length) {
    return ::bind(Native(socket), address, length) == 0 && ::listen(Native(socket), 1) == 0;
}

bool AddressOf(int socket, bool peer, sockaddr *address, SocketLength *length) {
    return (peer ? ::getpeername(Native(socket), address, length) : ::getsockname(Native(socket), address, length)) == 0;
}

// select rather than WSAPoll: WSAPoll on older Windows never reports a
// connect that failed, which would turn a refused connection into a timeout.
// A failed connect shows in the exception set.
void Pause(Milliseconds wait) { ::Sleep(static_cast<DWORD>(wait.count())); }

int WaitFor(int socket, Readiness wanted, Milliseconds wait) {
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(Native(socket), &ready);
    FD_SET(Native(socket), &failed);
    timeval limit{};
    limit.tv_sec = static_cast<long>(wait.count() / 1000);
    limit.tv_usec = static_cast<long>((wait.count() % 1000) * 1000);
    const int count = ::select(0, wanted == Readiness::Read ? &ready : nullptr,
                               wanted == Readiness::Write ? &ready : nullptr, &failed, &limit);
    return count == SOCKET_ERROR ? -1 : count;
}

bool ArmTimeout(int socket, Readiness direction, Milliseconds wait) {
    const DWORD value = static_cast<DWORD>(wait.count());
    const int option = direction == Readiness::Read ? SO_RCVTIMEO : SO_SNDTIMEO;
    return ::setsockopt(Native(socket), SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value) == 0;
}

IoResult ReceiveBytes(int socket, void *buffer, std::size_t size, ReceiveMode mode) {
    auto receive = [&] { return ::recv(Native(socket), static_cast<char *>(buffer), Length(size), 0); };
    // Fill is left to the caller's loop: MSG_WAITALL is not to be relied on
    // everywhere Winsock runs.
    return mode == ReceiveMode::NoWait ? WithoutWaiting(socket, receive) : receive();
}

IoResult SendBytes(int socket, const void *data, std::size_t size, bool noWait) {
    auto send = [&] { return ::send(Native(socket), static_cast<const char *>(data), Length(size), 0); };
    return noWait ? WithoutWaiting(socket, send) : send();
}

IoResult SendUrgentByte(int socket, char byte) {
    return WithoutWaiting(socket, [&] { return ::send(Native(socket), &byte, 1, MSG_OOB); });
}

}  // namespace sapi::ftpclient::os
