#include "ftp/services/sockets/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>


namespace sapi::ftpclient {

namespace {

int Chunk(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

// What OpenSSL reads and writes goes through our stream, which ends every
// wait at the call's deadline: no socket of its own, no non-blocking loop.
class StreamBioMethod {
public:
    StreamBioMethod(int (*write)(BIO *, const char *, int), int (*read)(BIO *, char *, int))
        : method_(BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "sapi byte stream")) {
        if (method_ == nullptr) return;
        BIO_meth_set_write(method_, write);
        BIO_meth_set_read(method_, read);
        BIO_meth_set_ctrl(method_, [](BIO *, int command, long, void *) -> long { return command == BIO_CTRL_FLUSH; });
        BIO_meth_set_create(method_, [](BIO *bio) {
            BIO_set_init(bio, 1);
            return 1;
        });
    }
    ~StreamBioMethod() { BIO_meth_free(method_); }
    StreamBioMethod(const StreamBioMethod &) = delete;
    StreamBioMethod &operator=(const StreamBioMethod &) = delete;
    BIO_METHOD *Get() const { return method_; }

private:
    BIO_METHOD *method_;
};

}  // namespace

int TlsStream::BioWrite(BIO *bio, const char *data, int size) {
    auto &self = *static_cast<TlsStream *>(BIO_get_data(bio));
    std::size_t sent = 0;
    self.innerStatus_ = self.inner_->Send(data, static_cast<std::size_t>(size), sent, self.deadline_);
    return sent > 0 ? static_cast<int>(sent) : -1;
}

int TlsStream::BioRead(BIO *bio, char *buffer, int size) {
    auto &self = *static_cast<TlsStream *>(BIO_get_data(bio));
    std::size_t got = 0;
    self.innerStatus_ = self.inner_->Receive(buffer, static_cast<std::size_t>(size), got, self.deadline_);
    if (got > 0) return static_cast<int>(got);
    return self.innerStatus_ == NetStatus::Closed ? 0 : -1;
}

// Runs one OpenSSL call to its end; the stream underneath does the waiting.
template <typename Call>
NetStatus TlsStream::Drive(Call call, Deadline deadline, int &result) {
    deadline_ = deadline;
    for (;;) {
        ERR_clear_error();
        innerStatus_ = NetStatus::Ok;
        result = call();
        if (result > 0) return NetStatus::Ok;
        switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            if (Passed(deadline)) return NetStatus::Timeout;
            continue;  // a record that carried no data (a ticket): read on
        case SSL_ERROR_ZERO_RETURN: return NetStatus::Closed;  // the peer's close_notify
        case SSL_ERROR_SYSCALL: return innerStatus_ == NetStatus::Ok ? NetStatus::Closed : innerStatus_;
        default: return innerStatus_ == NetStatus::Timeout ? NetStatus::Timeout : NetStatus::Failed;
        }
    }
}

NetStatus TlsStream::Handshake(TlsClient &client, bool control, Deadline deadline, TlsCheck &check) {
    static const StreamBioMethod method(&TlsStream::BioWrite, &TlsStream::BioRead);
    check = TlsCheck{};
    BIO *bio = method.Get() != nullptr && inner_ ? BIO_new(method.Get()) : nullptr;
    ssl_ = bio != nullptr ? client.NewConnection(control) : nullptr;
    if (ssl_ == nullptr) {
        BIO_free(bio);
        check.verdict = TlsVerdict::HandshakeFailed;
        check.reason = "TLS could not be set up";
        Close();
        return NetStatus::Failed;
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_, bio, bio);
    // Whole records in one read of the stream underneath where they have come.
    SSL_set_read_ahead(ssl_, 1);
    int result = 0;
    const NetStatus status = Drive([this] { return SSL_connect(ssl_); }, deadline, result);
    if (status != NetStatus::Ok) {
        char text[256] = {};
        ERR_error_string_n(ERR_peek_last_error(), text, sizeof text);
        check.verdict = TlsVerdict::HandshakeFailed;
        check.reason = std::string("TLS handshake failed") + (ERR_peek_last_error() != 0 ? std::string(": ") + text : "");
        Close();
        return status;
    }
    check = client.Check(ssl_);
    if (check.verdict != TlsVerdict::Trusted) {
        Close();
        return NetStatus::Failed;
    }
    return NetStatus::Ok;
}

NetStatus TlsStream::Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) {
    sent = 0;
    if (ssl_ == nullptr) return NetStatus::Closed;
    const auto *bytes = static_cast<const char *>(data);
    while (sent < size) {
        int written = 0;
        const NetStatus status =
            Drive([&] { return SSL_write(ssl_, bytes + sent, Chunk(size - sent)); }, deadline, written);
        if (status != NetStatus::Ok) return status;
        sent += static_cast<std::size_t>(written);
    }
    return NetStatus::Ok;
}

NetStatus TlsStream::Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    received = 0;
    if (ssl_ == nullptr) return NetStatus::Closed;
    int got = 0;
    const NetStatus status = Drive([&] { return SSL_read(ssl_, buffer, Chunk(size)); }, deadline, got);
    if (status == NetStatus::Ok) received = static_cast<std::size_t>(got);
    return status;
}

NetStatus TlsStream::ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) {
    received = 0;
    auto *bytes = static_cast<char *>(buffer);
    while (received < size) {
        std::size_t got = 0;
        const NetStatus status = Receive(bytes + received, size - received, got, deadline);
        received += got;
        if (status != NetStatus::Ok) return status;
    }
    return NetStatus::Ok;
}

NetStatus TlsStream::FinishSending(Deadline deadline) {
    if (ssl_ == nullptr) return NetStatus::Closed;
    int result = 0;
    // 0 means our close_notify went out and the peer's has not come, which is all we want.
    const NetStatus status = Drive(
        [this] {
            const int shutdown = SSL_shutdown(ssl_);
            return shutdown >= 0 ? 1 : shutdown;
        },
        deadline, result);
    // Then the server's end is read, for a second at most: whatever it sent
    // (a TLS 1.3 server's ticket on a resumed data connection, which may come
    // late) is read off, as a socket closed with unread bytes resets the
    // connection, and vsftpd and pyftpdlib take a reset upload for a failed
    // one (426). Servers close as soon as they have our close_notify.
    if (status == NetStatus::Ok) {
        const Deadline limit = std::min(deadline, DeadlineAfter(Milliseconds{1000}));
        char sink[4096];
        int got = 0;
        while (Drive([&] { return SSL_read(ssl_, sink, sizeof sink); }, limit, got) == NetStatus::Ok) {
        }
    }
    ERR_clear_error();
    return status;
}

void TlsStream::Close() {
    if (ssl_ != nullptr) {
        // A quiet shutdown sends nothing but keeps OpenSSL from taking the
        // session for a broken one; the data connections still resume it.
        SSL_set_quiet_shutdown(ssl_, 1);
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (inner_) inner_->Close();
}

bool TlsStream::Readable() { return ssl_ != nullptr && (SSL_has_pending(ssl_) == 1 || inner_->Readable()); }

}  // namespace sapi::ftpclient
