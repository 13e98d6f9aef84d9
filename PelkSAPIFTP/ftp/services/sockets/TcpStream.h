// A plain TCP byte stream. Bulk sends and fills use the kernel's own time
// limit, a slice of the deadline set once and changed only near its end, so a
// transfer costs one system call per block: no poll, no setsockopt. A blocked
// call wakes at the end of each slice to look at the stop flag and the
// deadline.
#pragma once

#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/Socket.h"
#include "ftp/services/sockets/SocketSystem.h"

namespace sapi::ftpclient {

class TcpStream final : public ByteStream {
public:
    explicit TcpStream(Socket socket) : socket_(std::move(socket)) {}

    NetStatus Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) override;
    NetStatus Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) override;
    NetStatus ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) override;
    // The end of what we send: the server reads end of file at once.
    NetStatus FinishSending(Deadline) override {
        if (socket_.IsOpen()) os::ShutdownSending(socket_.Fd());
        return NetStatus::Ok;
    }
    NetStatus SendUrgent(char byte) override {
        return os::SendUrgentByte(socket_.Fd(), byte) == 1 ? NetStatus::Ok : NetStatus::Failed;
    }
    bool CanSendUrgent() const override { return socket_.IsOpen(); }
    void Close() override { socket_.Close(); }
    bool IsOpen() const override { return socket_.IsOpen(); }
    bool Readable() override { return WaitReadable(socket_.Fd(), SteadyClock::now()) == NetStatus::Ok; }

private:
    // Sets the kernel's limit for the next blocking call in `direction`;
    // false when the deadline has passed.
    bool Arm(os::Readiness direction, Deadline deadline);

    Socket socket_;
    Milliseconds armed_[2] = {};  // the limits set for receives and for sends; 0: none yet
};

}  // namespace sapi::ftpclient
