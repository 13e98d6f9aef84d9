#include "ftp/services/sockets/StreamFactory.h"

namespace sapi::ftpclient {

namespace {

// A stream connected already: nothing is left to wait for.
class ConnectedStream final : public PendingStream {
public:
    explicit ConnectedStream(std::unique_ptr<ByteStream> stream) : stream_(std::move(stream)) {}

    NetStatus Finish(Deadline, std::unique_ptr<ByteStream> &stream) override {
        stream = std::move(stream_);
        return NetStatus::Ok;
    }

private:
    std::unique_ptr<ByteStream> stream_;
};

}  // namespace

NetStatus StreamFactory::BeginConnectTo(const SocketAddress &address, Deadline deadline,
                                        std::unique_ptr<PendingStream> &pending) {
    std::unique_ptr<ByteStream> stream;
    const NetStatus status = ConnectTo(address, deadline, stream);
    if (status == NetStatus::Ok) pending = std::make_unique<ConnectedStream>(std::move(stream));
    return status;
}

}  // namespace sapi::ftpclient
