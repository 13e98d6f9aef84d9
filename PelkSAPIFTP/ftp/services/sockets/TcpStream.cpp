#include "ftp/services/sockets/TcpStream.h"

#include <sys/socket.h>

#include <cerrno>

namespace sapi::ftpclient {

namespace {

NetStatus StatusOfErrno() {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return NetStatus::Timeout;
    if (errno == EPIPE || errno == ECONNRESET) return NetStatus::Closed;
    return NetStatus::Failed;
}

// Sets the kernel's limit for the next blocking call to what is left of the
// deadline; false when nothing is left (a zero limit would mean no limit).
bool Arm(int fd, int option, Deadline deadline) {
    const Milliseconds left = TimeLeft(deadline);
    if (left.count() <= 0) return false;
    timeval value{};
    value.tv_sec = static_cast<time_t>(left.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((left.count() % 1000) * 1000);
    return ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

// A blocking call that returned EAGAIN ran into the armed limit; if the
// deadline is still ahead (a signal, a rounding), the caller re-arms and goes on.
bool TimedOut(Deadline deadline) {
    return (errno == EAGAIN || errno == EWOULDBLOCK) && Passed(deadline);
}

}  // namespace

NetStatus TcpStream::Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) {
    sent = 0;
    const auto *bytes = static_cast<const char *>(data);
    while (sent < size) {
        if (!Arm(socket_.Fd(), SO_SNDTIMEO, deadline)) return NetStatus::Timeout;
        const ssize_t done = ::send(socket_.Fd(), bytes + sent, size - sent, MSG_NOSIGNAL);
        if (done > 0) {
            sent += static_cast<std::size_t>(done);
            continue;
        }
        if (done < 0 && (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && !TimedOut(deadline)))) {
            continue;
        }
        return done == 0 ? NetStatus::Failed : StatusOfErrno();
    }
    return NetStatus::Ok;
}

NetStatus TcpStream::Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    return ReceiveSome(socket_, buffer, size, received, deadline);
}

NetStatus TcpStream::ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    received = 0;
    auto *bytes = static_cast<char *>(buffer);
    while (received < size) {
        if (!Arm(socket_.Fd(), SO_RCVTIMEO, deadline)) return NetStatus::Timeout;
        const ssize_t got = ::recv(socket_.Fd(), bytes + received, size - received, MSG_WAITALL);
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) return NetStatus::Closed;
        if (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && !TimedOut(deadline))) continue;
        return StatusOfErrno();
    }
    return NetStatus::Ok;
}

}  // namespace sapi::ftpclient
