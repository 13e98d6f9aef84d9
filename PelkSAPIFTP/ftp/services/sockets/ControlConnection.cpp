#include "ftp/services/sockets/ControlConnection.h"

#include <array>

#include "ftp/services/WinInetConstants.h"

namespace sapi::ftpclient {

namespace {

using namespace sapi::wininet;
using Clock = std::chrono::steady_clock;

uint32_t ErrorOf(NetStatus status) {
    switch (status) {
    case NetStatus::Ok: return ERROR_SUCCESS;
    case NetStatus::Timeout: return ERROR_INTERNET_TIMEOUT;
    case NetStatus::Closed:
    case NetStatus::Failed: break;
    }
    return ERROR_INTERNET_CONNECTION_ABORTED;
}

}  // namespace

uint32_t ControlConnection::Connect(const std::string &host, uint16_t port) {
    // "[::1]" is how an IPv6 address is written beside a port; the resolver wants it bare.
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    const std::vector<SocketAddress> addresses = Resolve(bracketed ? host.substr(1, host.size() - 2) : host, port);
    if (addresses.empty()) return ERROR_INTERNET_NAME_NOT_RESOLVED;
    NetStatus last = NetStatus::Failed;
    for (const SocketAddress &address : addresses) {
        last = ConnectSocket(address, CurrentTimeouts().connect, socket_);
        if (last == NetStatus::Ok) {
            peer_ = address;
            LocalAddress(socket_, local_);
            reader_ = ReplyReader{};
            return ERROR_SUCCESS;
        }
    }
    return last == NetStatus::Timeout ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
}

uint32_t ControlConnection::SendLine(std::string_view line) {
    if (!socket_.IsOpen()) return ERROR_INTERNET_CONNECTION_ABORTED;
    std::string command(line);
    command += "\r\n";
    return ErrorOf(SendAll(socket_, command.data(), command.size(), CurrentTimeouts().send));
}

uint32_t ControlConnection::ReadReply(FtpReply &reply, Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!reader_.HasReply()) {
        if (reader_.Failed() || !socket_.IsOpen()) return ERROR_INTERNET_CONNECTION_ABORTED;
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return ERROR_INTERNET_TIMEOUT;
        const uint32_t error = Receive(left);
        if (error != ERROR_SUCCESS) return error;
    }
    reply = *reader_.Next();
    return ERROR_SUCCESS;
}

void ControlConnection::TakeAvailable() {
    while (socket_.IsOpen() && !reader_.Failed() &&
           WaitReadable(socket_, Milliseconds{0}) == NetStatus::Ok) {
        if (Receive(Milliseconds{0}) != ERROR_SUCCESS) return;
    }
}

void ControlConnection::Close() { socket_.Close(); }

uint32_t ControlConnection::Receive(Milliseconds timeout) {
    std::array<char, 16 * 1024> buffer;
    std::size_t received = 0;
    const NetStatus status = ReceiveSome(socket_, buffer.data(), buffer.size(), received, timeout);
    if (status != NetStatus::Ok) {
        if (status != NetStatus::Timeout) socket_.Close();
        return ErrorOf(status);
    }
    if (!reader_.Feed(std::string_view(buffer.data(), received))) {
        // A reply past every sane limit: this is not an FTP server we can talk to.
        socket_.Close();
        return ERROR_INTERNET_CONNECTION_ABORTED;
    }
    return ERROR_SUCCESS;
}

}  // namespace sapi::ftpclient
