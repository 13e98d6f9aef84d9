// The operating system's socket calls, POSIX or Winsock, under one set of
// names, so that the sockets code above reads the same on Linux and on
// Windows. A socket is an int here: a descriptor on POSIX, and on 32-bit
// Windows a SOCKET, which is a 32-bit handle (INVALID_SOCKET is -1 as an int).
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstddef>

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::ftpclient::os {

#if defined(_WIN32)
using SocketLength = int;
using IoResult = int;
#else
using SocketLength = socklen_t;
using IoResult = long;
#endif

constexpr int invalidSocket = -1;

// What the last failed call on this thread ran into, in the terms the
// callers act on.
enum class SocketError {
    None,         // no error since ClearLastError
    Interrupted,  // a signal: call again
    WouldBlock,   // nothing to do yet, or a time limit set with ArmTimeout ran out
    InProgress,   // a non-blocking connect under way
    Closed,       // the peer reset or closed the connection
    Aborted,      // a connection gone before accept took it
    Other,
};
SocketError LastError();
void ClearLastError();

// Sockets are usable (Winsock started, once per process); false when they are not.
bool StartSockets();

// A TCP socket that child processes do not inherit; invalidSocket on failure.
int OpenStreamSocket(int family, bool nonBlocking);
void CloseSocket(int socket);
// Our end of the connection: the peer reads end of file, and may still send.
void ShutdownSending(int socket);
bool SetBlocking(int socket, bool blocking);
void SetNoDelay(int socket);

// connect(2); on a non-blocking socket a false with InProgress is the usual start.
bool StartConnect(int socket, const sockaddr *address, SocketLength length);
// After the wait for a non-blocking connect: 0 when it is connected.
int ConnectOutcome(int socket);
int AcceptConnection(int listener);
// bind(2) and listen(2) with a backlog of one.
bool ListenAt(int socket, const sockaddr *address, SocketLength length);
// getsockname(2), or getpeername(2) for the peer.
bool AddressOf(int socket, bool peer, sockaddr *address, SocketLength *length);

enum class Readiness { Read, Write };
// 1 ready (or failed: the next call tells), 0 time up, -1 error (see LastError).
int WaitFor(int socket, Readiness wanted, Milliseconds wait);

// Waits for nothing for that long: the pause between two attempts to reach a server.
void Pause(Milliseconds wait);

// The kernel's time limit for the blocking receives or sends that follow.
bool ArmTimeout(int socket, Readiness direction, Milliseconds wait);

enum class ReceiveMode {
    Blocking,  // as the socket is
    NoWait,    // never blocks: WouldBlock when nothing is there
    Fill,      // blocks until the buffer is full or the stream ends
};
IoResult ReceiveBytes(int socket, void *buffer, std::size_t size, ReceiveMode mode);
// Never raises SIGPIPE on a closed connection; `noWait` as ReceiveMode::NoWait.
IoResult SendBytes(int socket, const void *data, std::size_t size, bool noWait);
// One byte as TCP urgent data (MSG_OOB), without waiting.
IoResult SendUrgentByte(int socket, char byte);

}  // namespace sapi::ftpclient::os
