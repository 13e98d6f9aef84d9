// The TLS side of one FTP session: its OpenSSL context, whom it trusts, and the
// control connection's TLS session, which every data connection resumes
// (vsftpd and proftpd refuse a data connection that does not).
#pragma once

#include <memory>
#include <string>

#include "ftp/services/sockets/TlsSettings.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_session_st SSL_SESSION;

namespace sapi::ftpclient {

enum class TlsVerdict { Trusted, Expired, UnknownIssuer, NameMismatch, FingerprintMismatch, Untrusted, HandshakeFailed };

// What a handshake showed, for the trace and for a host that asks why.
struct TlsFacts {
    std::string version;      // "TLSv1.3"
    std::string cipher;       // "TLS_AES_256_GCM_SHA384"
    std::string subject;      // "/CN=localhost"
    std::string fingerprint;  // SHA-256, "AB:CD:…"
};

struct TlsCheck {
    TlsVerdict verdict = TlsVerdict::Untrusted;
    std::string reason;  // one line, empty when trusted
    TlsFacts facts;
};

class TlsClient {
public:
    // `host` as the user named it: a name, an IPv4 address or "[v6]".
    TlsClient(TlsSettings settings, const std::string &host);
    ~TlsClient();
    TlsClient(const TlsClient &) = delete;
    TlsClient &operator=(const TlsClient &) = delete;

    // False when OpenSSL or the CA file could not be set up (Error() says why).
    bool Ready() const { return context_ != nullptr; }
    const std::string &Error() const { return error_; }

    // A new connection's SSL: control connections get the host to verify,
    // data connections also the control connection's latest session.
    SSL *NewConnection(bool control);
    // The certificate the peer showed, against the settings.
    TlsCheck Check(SSL *ssl) const;

private:
    static int OnNewSession(SSL *ssl, SSL_SESSION *session);

    TlsSettings settings_;
    std::string host_;
    bool hostIsAddress_ = false;
    SSL_CTX *context_ = nullptr;
    SSL_SESSION *controlSession_ = nullptr;
    std::string error_;
};

}  // namespace sapi::ftpclient
