// The control connection: commands out, replies in, each wait ending at a
// deadline, over a byte stream that a TLS layer may replace.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ftp/protocol/ReplyReader.h"
#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/SessionError.h"
#include "ftp/services/sockets/Socket.h"

namespace sapi::ftpclient {

class ControlConnection {
public:
    // Resolves host and connects to the first address that answers.
    SessionError Connect(const std::string &host, uint16_t port, Deadline deadline);
    // Sends one command line; CR LF is added here and must not be in `line`.
    SessionError SendLine(std::string_view line, Deadline deadline);
    // The next reply, once it is complete.
    SessionError ReadReply(FtpReply &reply, Deadline deadline);
    // Takes in what has already arrived, without waiting.
    void TakeAvailable();
    bool HasReply() const { return reader_.HasReply(); }
    // Anything received and not yet taken as a reply: a whole reply, or the
    // start of one.
    bool HasUnread() const { return reader_.HasReply() || reader_.MidReply(); }
    // The server sent a reply past the reader's limits, and was dropped for it.
    bool ReplyOverflowed() const { return reader_.Failed(); }
    void Close();
    bool IsOpen() const { return stream_ && stream_->IsOpen(); }

    // The stream itself, for the step that wraps it in TLS.
    std::unique_ptr<ByteStream> &Stream() { return stream_; }

    const SocketAddress &Peer() const { return peer_; }
    const SocketAddress &Local() const { return local_; }

private:
    SessionError Receive(Deadline deadline);

    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    SocketAddress peer_;
    SocketAddress local_;
};

}  // namespace sapi::ftpclient
