#include "ftp/services/sockets/TcpStream.h"

#include <algorithm>

#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/SocketSystem.h"

namespace sapi::ftpclient {

namespace {

using os::Readiness;
using os::SocketError;

// The longest a blocking call sleeps before it looks at the stop flag and
// the deadline again.
constexpr Milliseconds kernelSlice{100};

// A blocking call that failed with a signal, or ran into the armed limit
// while the deadline is still ahead (a slice, or a rounding), is made again,
// re-armed; the loop looks at the stop flag first.
bool CallAgain(Deadline deadline) {
    const SocketError error = os::LastError();
    return error == SocketError::Interrupted || (error == SocketError::WouldBlock && !Passed(deadline));
}

}  // namespace

// The limit is a slice, or what is left of the deadline when that is less
// (a zero limit would mean no limit); set only when it changes.
bool TcpStream::Arm(Readiness direction, Deadline deadline) {
    const Milliseconds left = TimeLeft(deadline);
    if (left.count() <= 0) return false;
    const Milliseconds limit = std::min(left, kernelSlice);
    Milliseconds &armed = armed_[direction == Readiness::Read ? 0 : 1];
    if (limit == armed) return true;
    if (!os::ArmTimeout(socket_.Fd(), direction, limit)) return false;
    armed = limit;
    return true;
}

NetStatus TcpStream::Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) {
    sent = 0;
    const auto *bytes = static_cast<const char *>(data);
    while (sent < size) {
        if (Cancelled()) return NetStatus::Failed;
        if (!Arm(Readiness::Write, deadline)) return NetStatus::Timeout;
        const os::IoResult done = os::SendBytes(socket_.Fd(), bytes + sent, size - sent, false);
        if (done > 0) {
            sent += static_cast<std::size_t>(done);
            continue;
        }
        if (done < 0 && CallAgain(deadline)) continue;
        return done == 0 ? NetStatus::Failed : StatusOfLastSocketError();
    }
    return NetStatus::Ok;
}

// What has come already is taken without a poll; only an empty socket waits.
NetStatus TcpStream::Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    received = 0;
    if (Cancelled()) return NetStatus::Failed;
    const os::IoResult got = os::ReceiveBytes(socket_.Fd(), buffer, size, os::ReceiveMode::NoWait);
    if (got > 0) {
        received = static_cast<std::size_t>(got);
        return NetStatus::Ok;
    }
    if (got == 0) return NetStatus::Closed;
    return ReceiveSome(socket_, buffer, size, received, deadline);
}

NetStatus TcpStream::ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    received = 0;
    auto *bytes = static_cast<char *>(buffer);
    while (received < size) {
        if (Cancelled()) return NetStatus::Failed;
        if (!Arm(Readiness::Read, deadline)) return NetStatus::Timeout;
        const os::IoResult got =
            os::ReceiveBytes(socket_.Fd(), bytes + received, size - received, os::ReceiveMode::Fill);
        if (got > 0) {
            received += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0) return NetStatus::Closed;
        if (CallAgain(deadline)) continue;
        return StatusOfLastSocketError();
    }
    return NetStatus::Ok;
}

}  // namespace sapi::ftpclient
