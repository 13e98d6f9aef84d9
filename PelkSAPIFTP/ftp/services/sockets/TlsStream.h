// A TLS connection as a client, over any byte stream: the second kind of
// byte stream. OpenSSL reads and writes through the stream underneath (TCP in
// the module, an in-memory pipe in a test), so every wait ends at the
// deadline of the call that caused it, however the bytes trickle.
#pragma once

#include <cstddef>
#include <memory>

#include "ftp/services/sockets/ByteStream.h"
#include "ftp/services/sockets/TlsClient.h"

typedef struct bio_st BIO;

namespace sapi::ftpclient {

class TlsStream final : public ByteStream {
public:
    explicit TlsStream(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}
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
    bool IsOpen() const override { return ssl_ != nullptr && inner_ && inner_->IsOpen(); }
    bool Readable() override;

private:
    template <typename Call>
    NetStatus Drive(Call call, Deadline deadline, int &result);
    static int BioWrite(BIO *bio, const char *data, int size);
    static int BioRead(BIO *bio, char *buffer, int size);

    std::unique_ptr<ByteStream> inner_;
    SSL *ssl_ = nullptr;
    // For the stream underneath, while an OpenSSL call runs: the call's
    // deadline, and how the last wait on the stream ended.
    Deadline deadline_{};
    NetStatus innerStatus_ = NetStatus::Ok;
};

}  // namespace sapi::ftpclient
