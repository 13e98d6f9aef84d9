#include <vector>

#include "ftp/services/sockets/NameLookup.h"
#include "ftp/services/sockets/StreamFactory.h"
#include "ftp/services/sockets/TcpStream.h"

namespace sapi::ftpclient {

namespace {

class TcpListener final : public DataListener {
public:
    explicit TcpListener(Socket socket) : socket_(std::move(socket)) {}

    NetStatus Accept(const SocketAddress &expectedHost, Deadline deadline, std::unique_ptr<ByteStream> &stream,
                     SocketAddress &peer) override {
        Socket socket;
        const NetStatus status = AcceptFrom(socket_, expectedHost, deadline, socket);
        if (status != NetStatus::Ok) return status;
        PeerAddress(socket, peer);
        stream = std::make_unique<TcpStream>(std::move(socket));
        return NetStatus::Ok;
    }

private:
    Socket socket_;
};

class TcpPendingStream final : public PendingStream {
public:
    explicit TcpPendingStream(Socket socket) : socket_(std::move(socket)) {}

    NetStatus Finish(Deadline deadline, std::unique_ptr<ByteStream> &stream) override {
        const NetStatus status = EndConnect(socket_, deadline);
        if (status == NetStatus::Ok) stream = std::make_unique<TcpStream>(std::move(socket_));
        return status;
    }

private:
    Socket socket_;
};

class TcpStreamFactory final : public StreamFactory {
public:
    SessionError Connect(const std::string &host, uint16_t port, Deadline deadline, Connection &connection) override {
        // "[::1]" is how an IPv6 address is written beside a port; the resolver wants it bare.
        const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
        const std::vector<SocketAddress> addresses =
            LookUpName(bracketed ? host.substr(1, host.size() - 2) : host, port);
        if (addresses.empty()) return SessionError::NameNotResolved;
        NetStatus last = NetStatus::Failed;
        for (const SocketAddress &address : addresses) {
            Socket socket;
            last = ConnectSocket(address, deadline, socket);
            if (last == NetStatus::Ok) {
                connection.peer = address;
                LocalAddress(socket, connection.local);
                connection.stream = std::make_unique<TcpStream>(std::move(socket));
                return SessionError::None;
            }
        }
        return last == NetStatus::Timeout ? SessionError::TimedOut : SessionError::CannotConnect;
    }

    NetStatus ConnectTo(const SocketAddress &address, Deadline deadline, std::unique_ptr<ByteStream> &stream) override {
        Socket socket;
        const NetStatus status = ConnectSocket(address, deadline, socket);
        if (status == NetStatus::Ok) stream = std::make_unique<TcpStream>(std::move(socket));
        return status;
    }

    NetStatus BeginConnectTo(const SocketAddress &address, Deadline, std::unique_ptr<PendingStream> &pending) override {
        Socket socket;
        const NetStatus status = BeginConnect(address, socket);
        if (status == NetStatus::Ok) pending = std::make_unique<TcpPendingStream>(std::move(socket));
        return status;
    }

    NetStatus Listen(const SocketAddress &host, std::unique_ptr<DataListener> &listener, SocketAddress &bound) override {
        Socket socket;
        const NetStatus status = ListenOn(host, socket, bound);
        if (status == NetStatus::Ok) listener = std::make_unique<TcpListener>(std::move(socket));
        return status;
    }
};

}  // namespace

StreamFactory &TcpStreams() {
    static TcpStreamFactory factory;
    return factory;
}

}  // namespace sapi::ftpclient
