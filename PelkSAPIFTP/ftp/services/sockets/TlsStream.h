// A TLS connection over a connected TCP socket, as a client: the second kind
// of byte stream. Every wait ends at its deadline, however the bytes trickle.
#pragma once

#include <cstddef>

#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/Socket.h"
#include "ftp/services/sockets/TlsClient.h"

namespace sapi::ftpclient {

class TlsStream final : public ByteStream {
public:
    explicit TlsStream(Socket socket) : socket_(std::move(socket)) {}
    ~TlsStream() override { Close(); }

    // The handshake, then the check of the peer's certificate. Failed when the
    // handshake fails or the certificate is not trusted: the connection is then
    // closed without another byte sent, and `check` says why.
    NetStatus Handshake(TlsClient &client, bool control, Deadline deadline, TlsCheck &check);

    NetStatus Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) override;
    NetStatus Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) override;
    NetStatus ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) override;
    // close_notify, which servers take as the end of an upload, then what the
    // server still sends, until it closes or for a second.
    NetStatus FinishSending(Deadline deadline) override;
    // Drops the connection at once, without a TLS shutdown the server may never answer.
    void Close() override;
    bool IsOpen() const override { return ssl_ != nullptr && socket_.IsOpen(); }
    bool HasBuffered() const override;
    int Descriptor() const override { return socket_.Fd(); }

private:
    template <typename Call>
    NetStatus Drive(Call call, Deadline deadline, int &result);

    Socket socket_;
    SSL *ssl_ = nullptr;
};

}  // namespace sapi::ftpclient
