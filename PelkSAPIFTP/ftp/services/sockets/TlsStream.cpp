#include "ftp/services/sockets/TlsStream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>

#include "ftp/services/sockets/SocketSystem.h"

namespace sapi::ftpclient {

namespace {

int Chunk(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

}  // namespace

// Runs one OpenSSL call to completion on the non-blocking socket, waiting for
// whichever direction it asks for.
template <typename Call>
NetStatus TlsStream::Drive(Call call, Deadline deadline, int &result) {
    for (;;) {
        ERR_clear_error();
        os::ClearLastError();
        result = call();
        if (result > 0) return NetStatus::Ok;
        NetStatus waited = NetStatus::Failed;
        switch (SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ: waited = WaitReadable(socket_.Fd(), deadline); break;
        case SSL_ERROR_WANT_WRITE: waited = WaitWritable(socket_.Fd(), deadline); break;
        case SSL_ERROR_ZERO_RETURN: return NetStatus::Closed;  // the peer's close_notify
        case SSL_ERROR_SYSCALL: {
            const os::SocketError error = os::LastError();
            return error == os::SocketError::None || error == os::SocketError::Closed ? NetStatus::Closed
                                                                                        : NetStatus::Failed;
        }
        default: return NetStatus::Failed;
        }
        if (waited != NetStatus::Ok) return waited;
    }
}

NetStatus TlsStream::Handshake(TlsClient &client, bool control, Deadline deadline, TlsCheck &check) {
    check = TlsCheck{};
    if (!socket_.IsOpen() || !os::SetBlocking(socket_.Fd(), false)) return NetStatus::Failed;
    ssl_ = client.NewConnection(control);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, socket_.Fd()) != 1) {
        check.verdict = TlsVerdict::HandshakeFailed;
        check.reason = "TLS could not be set up";
        Close();
        return NetStatus::Failed;
    }
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
    socket_.Close();
}

bool TlsStream::HasBuffered() const { return ssl_ != nullptr && SSL_has_pending(ssl_) == 1; }

}  // namespace sapi::ftpclient
