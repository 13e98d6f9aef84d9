#include "ftp/services/sockets/ControlConnection.h"

#include <array>

#include "ftp/services/sockets/TcpStream.h"

namespace sapi::ftpclient {

namespace {

SessionError ErrorOf(NetStatus status) {
    switch (status) {
    case NetStatus::Ok: return SessionError::None;
    case NetStatus::Timeout: return SessionError::TimedOut;
    case NetStatus::Closed:
    case NetStatus::Failed: break;
    }
    return SessionError::ConnectionLost;
}

}  // namespace

SessionError ControlConnection::Connect(const std::string &host, uint16_t port, Deadline deadline) {
    // "[::1]" is how an IPv6 address is written beside a port; the resolver wants it bare.
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    const std::vector<SocketAddress> addresses = Resolve(bracketed ? host.substr(1, host.size() - 2) : host, port);
    if (addresses.empty()) return SessionError::NameNotResolved;
    NetStatus last = NetStatus::Failed;
    for (const SocketAddress &address : addresses) {
        Socket socket;
        last = ConnectSocket(address, deadline, socket);
        if (last == NetStatus::Ok) {
            peer_ = address;
            LocalAddress(socket, local_);
            stream_ = std::make_unique<TcpStream>(std::move(socket));
            reader_ = ReplyReader{};
            return SessionError::None;
        }
    }
    return last == NetStatus::Timeout ? SessionError::TimedOut : SessionError::CannotConnect;
}

SessionError ControlConnection::SendLine(std::string_view line, Deadline deadline) {
    if (!IsOpen()) return SessionError::ConnectionLost;
    std::string command(line);
    command += "\r\n";
    std::size_t sent = 0;
    return ErrorOf(stream_->Send(command.data(), command.size(), sent, deadline));
}

SessionError ControlConnection::ReadReply(FtpReply &reply, Deadline deadline) {
    while (!reader_.HasReply()) {
        if (reader_.Failed() || !IsOpen()) return SessionError::ConnectionLost;
        if (Passed(deadline)) return SessionError::TimedOut;
        if (const SessionError error = Receive(deadline)) return error;
    }
    reply = *reader_.Next();
    return SessionError::None;
}

void ControlConnection::TakeAvailable() {
    while (IsOpen() && !reader_.Failed() &&
           (stream_->HasBuffered() || WaitReadable(stream_->Descriptor(), SteadyClock::now()) == NetStatus::Ok)) {
        if (Receive(SteadyClock::now())) return;
    }
}

void ControlConnection::Close() { stream_.reset(); }

SessionError ControlConnection::Receive(Deadline deadline) {
    std::array<char, 16 * 1024> buffer;
    std::size_t received = 0;
    const NetStatus status = stream_->Receive(buffer.data(), buffer.size(), received, deadline);
    if (status != NetStatus::Ok) {
        if (status != NetStatus::Timeout) Close();
        return ErrorOf(status);
    }
    if (!reader_.Feed(std::string_view(buffer.data(), received))) {
        // A reply past every sane limit: this is not an FTP server we can talk to.
        Close();
        return SessionError::ConnectionLost;
    }
    return SessionError::None;
}

}  // namespace sapi::ftpclient
