// A plain TCP byte stream. Bulk sends and fills use the kernel's own time
// limit, set to what is left of the deadline once per block, so a transfer
// costs one system call per block and no poll.
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
    Socket socket_;
};

}  // namespace sapi::ftpclient
