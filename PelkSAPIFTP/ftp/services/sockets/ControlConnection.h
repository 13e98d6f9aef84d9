// The control connection: commands out, replies in, each wait ending at a
// deadline, over a byte stream that TLS may wrap.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/protocol/ReplyReader.h"
#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/SessionError.h"
#include "ftp/services/sockets/Socket.h"
#include "ftp/services/sockets/StreamFactory.h"
#include "ftp/services/sockets/TlsClient.h"

namespace sapi::ftpclient {

class ControlConnection {
public:
    // Connects to the first address of host that answers.
    SessionError Connect(StreamFactory &streams, const std::string &host, uint16_t port, Deadline deadline);
    // Wraps the stream in TLS: the handshake and the certificate check. On
    // failure the connection is gone, nothing having been sent on it.
    NetStatus Secure(TlsClient &client, Deadline deadline, TlsCheck &check);
    // Sends one command line; CR LF is added here and must not be in `line`.
    SessionError SendLine(std::string_view line, Deadline deadline) { return SendLines({std::string(line)}, deadline); }
    // Several command lines in one write: one flight, answered in order.
    SessionError SendLines(const std::vector<std::string> &lines, Deadline deadline);
    // Telnet's Interrupt Process and Synch (IAC IP, then IAC DM with the DM
    // as TCP urgent data): a server busy writing a transfer looks at the
    // control connection now. False, and nothing sent, over TLS.
    bool SendInterrupt(Deadline deadline);
    bool CanInterrupt() const { return IsOpen() && stream_->CanSendUrgent(); }
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
