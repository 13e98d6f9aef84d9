// Byte streams in memory, for a session that runs with no socket, no thread
// and no real wait. The server is a function: each command line the session
// sends is answered at once with the text it returns, and each data
// connection carries the bytes queued for it, then ends.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/services/sockets/StreamFactory.h"

namespace ftpclienttest {

using sapi::ftpclient::ByteStream;
using sapi::ftpclient::DataListener;
using sapi::ftpclient::Deadline;
using sapi::ftpclient::NetStatus;
using sapi::ftpclient::SessionError;
using sapi::ftpclient::SocketAddress;

class MemoryStreams final : public sapi::ftpclient::StreamFactory {
public:
    std::string greeting = "220 in-memory server ready\r\n";
    // The reply text (CR LF included) to one command line.
    std::function<std::string(const std::string &line)> answer;
    // Each passive data connection takes the next of these, then ends.
    std::deque<std::string> dataConnections;
    // Every line the session sent, and "(data connected)" where the session
    // waited for a passive data connection.
    std::vector<std::string> commands;
    std::string stored;                 // what the session sent on data connections

    SessionError Connect(const std::string &host, uint16_t port, Deadline deadline, Connection &connection) override;
    NetStatus ConnectTo(const SocketAddress &address, Deadline deadline, std::unique_ptr<ByteStream> &stream) override;
    NetStatus BeginConnectTo(const SocketAddress &address, Deadline deadline,
                             std::unique_ptr<sapi::ftpclient::PendingStream> &pending) override;
    NetStatus Listen(const SocketAddress &host, std::unique_ptr<DataListener> &listener, SocketAddress &bound) override;
};

}  // namespace ftpclienttest
