#include "MemoryStreams.h"

#include <algorithm>
#include <cstring>

namespace ftpclienttest {

namespace {

// Nothing can arrive later in a world without threads: an empty stream that
// has not ended is a stall, reported at once as the deadline having passed.
class MemoryStream final : public ByteStream {
public:
    MemoryStream(std::string incoming, bool ends) : incoming_(std::move(incoming)), ends_(ends) {}
    void OnSent(std::function<void(const std::string &)> sent) { sent_ = std::move(sent); }

    NetStatus Send(const void *data, std::size_t size, std::size_t &sent, Deadline) override {
        sent = size;
        if (sent_) sent_(std::string(static_cast<const char *>(data), size));
        return NetStatus::Ok;
    }
    NetStatus Receive(void *buffer, std::size_t size, std::size_t &received, Deadline) override {
        received = std::min(size, incoming_.size());
        std::memcpy(buffer, incoming_.data(), received);
        incoming_.erase(0, received);
        if (received > 0) return NetStatus::Ok;
        return ends_ ? NetStatus::Closed : NetStatus::Timeout;
    }
    NetStatus ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) override {
        const NetStatus status = Receive(buffer, size, received, deadline);
        if (status != NetStatus::Ok || received == size) return status;
        return ends_ ? NetStatus::Closed : NetStatus::Timeout;
    }
    NetStatus FinishSending(Deadline) override { return NetStatus::Ok; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool Readable() override { return !incoming_.empty() || ends_; }
    void Deliver(const std::string &text) { incoming_ += text; }

private:
    std::string incoming_;
    bool ends_;
    std::function<void(const std::string &)> sent_;
    bool open_ = true;
};

SocketAddress Loopback(uint16_t port) { return sapi::ftpclient::Resolve("127.0.0.1", port).front(); }

}  // namespace

SessionError MemoryStreams::Connect(const std::string &, uint16_t port, Deadline, Connection &connection) {
    auto control = std::make_unique<MemoryStream>(greeting, false);
    control->OnSent([this, self = control.get(), pending = std::string()](const std::string &bytes) mutable {
        pending += bytes;
        for (std::size_t end = pending.find("\r\n"); end != std::string::npos; end = pending.find("\r\n")) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            commands.push_back(line);
            if (answer) self->Deliver(answer(line));
        }
    });
    connection.stream = std::move(control);
    connection.peer = Loopback(port);
    connection.local = Loopback(40000);
    return SessionError::None;
}

NetStatus MemoryStreams::ConnectTo(const SocketAddress &, Deadline, std::unique_ptr<ByteStream> &stream) {
    if (dataConnections.empty()) return NetStatus::Failed;
    auto data = std::make_unique<MemoryStream>(dataConnections.front(), true);
    data->OnSent([this](const std::string &bytes) { stored += bytes; });
    stream = std::move(data);
    dataConnections.pop_front();
    return NetStatus::Ok;
}

namespace {

class PendingMemoryStream final : public sapi::ftpclient::PendingStream {
public:
    PendingMemoryStream(MemoryStreams &streams, const SocketAddress &address) : streams_(streams), address_(address) {}

    NetStatus Finish(Deadline deadline, std::unique_ptr<ByteStream> &stream) override {
        streams_.commands.push_back("(data connected)");
        return streams_.ConnectTo(address_, deadline, stream);
    }

private:
    MemoryStreams &streams_;
    SocketAddress address_;
};

}  // namespace

NetStatus MemoryStreams::BeginConnectTo(const SocketAddress &address, Deadline,
                                        std::unique_ptr<sapi::ftpclient::PendingStream> &pending) {
    pending = std::make_unique<PendingMemoryStream>(*this, address);
    return NetStatus::Ok;
}

NetStatus MemoryStreams::Listen(const SocketAddress &, std::unique_ptr<DataListener> &, SocketAddress &) {
    return NetStatus::Failed;  // passive mode only
}

}  // namespace ftpclienttest
