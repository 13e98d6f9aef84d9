// A TLS connection over a connected TCP socket, as a client. Every wait ends
// at an absolute deadline, however the bytes trickle in.
#pragma once

#include <chrono>
#include <cstddef>

#include "ftp/services/sockets/Socket.h"
#include "ftp/services/sockets/TlsClient.h"

namespace sapi::ftpclient {

using Deadline = std::chrono::steady_clock::time_point;

class TlsStream {
public:
    explicit TlsStream(Socket socket) : socket_(std::move(socket)) {}
    ~TlsStream() { Close(); }
    TlsStream(const TlsStream &) = delete;
    TlsStream &operator=(const TlsStream &) = delete;

    // The handshake, then the check of the peer's certificate. Failed when the
    // handshake fails or the certificate is not trusted: the connection is then
    // closed without another byte sent, and `check` says why.
    NetStatus Handshake(TlsClient &client, bool control, Deadline deadline, TlsCheck &check);

    NetStatus Send(const void *data, std::size_t size, Deadline deadline);
    // At least one byte, or Closed at the end of the stream.
    NetStatus Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline);
    // Fills the buffer unless the stream ends first (Closed, `received` possibly above 0).
    NetStatus ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline);
    // close_notify, which servers take as the end of an upload; the peer's
    // answer is not waited for.
    NetStatus FinishSending(Deadline deadline);
    // Drops the connection at once, without a TLS shutdown the server may never answer.
    void Close();
    // Decrypted bytes read from the socket and not yet taken.
    bool HasBuffered() const;
    const Socket &Tcp() const { return socket_; }

private:
    template <typename Call>
    NetStatus Drive(Call call, Deadline deadline, int &result);

    Socket socket_;
    SSL *ssl_ = nullptr;
};

}  // namespace sapi::ftpclient
