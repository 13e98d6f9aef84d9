#include "ftp/services/sockets/ControlConnection.h"

#include <array>

#include "ftp/services/sockets/TlsStream.h"

namespace sapi::ftpclient {

SessionError ControlConnection::Connect(StreamFactory &streams, const std::string &host, uint16_t port,
                                        Deadline deadline) {
    StreamFactory::Connection connection;
    if (const SessionError error = streams.Connect(host, port, deadline, connection)) return error;
    stream_ = std::move(connection.stream);
    peer_ = connection.peer;
    local_ = connection.local;
    reader_ = ReplyReader{};
    return SessionError::None;
}

NetStatus ControlConnection::Secure(TlsClient &client, Deadline deadline, TlsCheck &check) {
    auto secured = std::make_unique<TlsStream>(std::move(stream_));
    const NetStatus status = secured->Handshake(client, true, deadline, check);
    if (status == NetStatus::Ok) stream_ = std::move(secured);
    return status;
}

SessionError ControlConnection::SendLines(const std::vector<std::string> &lines, Deadline deadline) {
    if (!IsOpen()) return SessionError::ConnectionLost;
    std::string command;
    for (const std::string &line : lines) command.append(line).append("\r\n");
    std::size_t sent = 0;
    return ErrorOf(stream_->Send(command.data(), command.size(), sent, deadline));
}

bool ControlConnection::SendInterrupt(Deadline deadline) {
    if (!IsOpen() || !stream_->CanSendUrgent()) return false;
    static constexpr char interrupt[] = {'\xff', '\xf4', '\xff'};  // IAC IP IAC
    std::size_t sent = 0;
    if (stream_->Send(interrupt, sizeof interrupt, sent, deadline) != NetStatus::Ok) return false;
    return stream_->SendUrgent('\xf2') == NetStatus::Ok;  // DM
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
    while (IsOpen() && !reader_.Failed() && stream_->Readable()) {
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
