#include "ftp/services/sockets/TlsClient.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>

#include "ftp/services/sockets/SocketSystem.h"
#include "ftp/services/sockets/TlsLibrary.h"

namespace sapi::ftpclient {

namespace {

// Marks the control connection's SSL: only its tickets are kept.
int ControlMarkIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

bool IsAddress(const std::string &host) {
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string OpenSslError() {
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return text;
}

std::optional<Fingerprint> FingerprintOf(X509 *certificate) {
    Fingerprint digest{};
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1 || length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

TlsFacts FactsOf(SSL *ssl, X509 *certificate) {
    TlsFacts facts;
    facts.version = SSL_get_version(ssl);
    facts.cipher = SSL_get_cipher_name(ssl);
    if (certificate == nullptr) return facts;
    char subject[512] = {};
    X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
    facts.subject = subject;
    if (const auto digest = FingerprintOf(certificate)) facts.fingerprint = FingerprintText(*digest);
    return facts;
}

// OpenSSL's verdict on the chain and the name, in the words a user acts on.
TlsCheck VerdictOf(long result, const std::string &host) {
    switch (result) {
    case X509_V_OK: return {TlsVerdict::Trusted, {}, {}};
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return {TlsVerdict::Expired, "the server's certificate has expired", {}};
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return {TlsVerdict::Expired, "the server's certificate is not valid yet", {}};
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return {TlsVerdict::UnknownIssuer,
                "unknown issuer: the server's certificate is self-signed or from a CA not trusted here", {}};
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return {TlsVerdict::NameMismatch, "name mismatch: the server's certificate is not for " + host, {}};
    default: break;
    }
    return {TlsVerdict::Untrusted,
            std::string("the server's certificate is not trusted: ") + X509_verify_cert_error_string(result), {}};
}

}  // namespace

TlsClient::TlsClient(TlsSettings settings, const std::string &host) : settings_(std::move(settings)) {
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    host_ = bracketed ? host.substr(1, host.size() - 2) : host;
    hostIsAddress_ = IsAddress(host_);
    if (!StartTls()) {
        error_ = "OpenSSL could not start";
        return;
    }
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (context == nullptr) {
        error_ = OpenSslError();
        return;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION);
    // The verdict is taken after the handshake (Check), so that a refusal can
    // say why and show the certificate; nothing is sent before it.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    const bool located = settings_.caFile.empty()
                             ? TrustSystemRoots(context)
                             : SSL_CTX_load_verify_locations(context, settings_.caFile.c_str(), nullptr) == 1;
    if (!located) {
        error_ = settings_.caFile.empty() ? "cannot read this system's trusted certificates: " + OpenSslError()
                                          : "cannot read the CA file " + settings_.caFile + ": " + OpenSslError();
        SSL_CTX_free(context);
        return;
    }
    // TLS 1.3 tickets come after the handshake, with the first replies; they
    // are caught here whenever OpenSSL reads them.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, &TlsClient::OnNewSession);
    SSL_CTX_set_app_data(context, this);
    context_ = context;
}

TlsClient::~TlsClient() {
    if (controlSession_ != nullptr) SSL_SESSION_free(controlSession_);
    if (context_ != nullptr) SSL_CTX_free(context_);
}

// Only the control connection's session will do: proftpd checks that a data
// connection resumes exactly that one.
int TlsClient::OnNewSession(SSL *ssl, SSL_SESSION *session) {
    if (SSL_get_ex_data(ssl, ControlMarkIndex()) == nullptr) return 0;
    auto *client = static_cast<TlsClient *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (client->controlSession_ != nullptr) SSL_SESSION_free(client->controlSession_);
    client->controlSession_ = session;
    return 1;  // the reference is ours now
}

SSL *TlsClient::NewConnection(bool control) {
    SSL *ssl = SSL_new(context_);
    if (ssl == nullptr) return nullptr;
    X509_VERIFY_PARAM *parameters = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = hostIsAddress_ ? X509_VERIFY_PARAM_set1_ip_asc(parameters, host_.c_str()) == 1
                                      : X509_VERIFY_PARAM_set1_host(parameters, host_.c_str(), 0) == 1 &&
                                            SSL_set_tlsext_host_name(ssl, host_.c_str()) == 1;
    if (!named) {
        SSL_free(ssl);
        return nullptr;
    }
    if (control) {
        static int mark = 1;
        SSL_set_ex_data(ssl, ControlMarkIndex(), &mark);
    } else if (controlSession_ != nullptr) {
        // A copy each time: OpenSSL marks a TLS 1.3 session it has resumed as
        // spent, and every data connection must offer the control's again
        // (vsftpd drops the whole session after one that does not).
        SSL_SESSION *copy = SSL_SESSION_dup(controlSession_);
        if (copy != nullptr) {
            SSL_set_session(ssl, copy);
            SSL_SESSION_free(copy);
        }
    }
    return ssl;
}

TlsCheck TlsClient::Check(SSL *ssl) const {
    X509 *certificate = SSL_get0_peer_certificate(ssl);
    TlsCheck check;
    if (certificate == nullptr) {
        check.reason = "the server showed no certificate";
    } else if (settings_.pinned) {
        const auto digest = FingerprintOf(certificate);
        if (digest && *digest == *settings_.pinned) {
            check.verdict = TlsVerdict::Trusted;
        } else {
            check = {TlsVerdict::FingerprintMismatch, "fingerprint mismatch: the server's certificate is not the pinned one", {}};
        }
    } else {
        check = VerdictOf(SSL_get_verify_result(ssl), host_);
    }
    check.facts = FactsOf(ssl, certificate);
    return check;
}

}  // namespace sapi::ftpclient
