// Where a session's control connection becomes a TLS one, and the data
// connections follow. A plain session keeps its streams as they came.
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

// Explicit TLS: AUTH TLS right after the greeting, and nothing else if the
// server will not (vsftpd, proftpd and pyftpdlib answer 234; pure-ftpd too).
SessionError FtpSession::SecureControl() {
    if (tlsSettings_.mode != TlsMode::Explicit) return SessionError::None;
    FtpReply reply;
    if (const SessionError error = channel_.AskFinal("AUTH TLS", reply)) return error;
    if (reply.code != 234) return SessionError::Refused;
    // Nothing may follow the "234" before the handshake: bytes that did came
    // in clear text from whoever is on the path, and kept in the reply reader
    // they would be read as the first answers inside TLS ("234 go" and
    // "230 fake" in one write: a login without a password).
    if (channel_.HasUnread()) {
        trace_.Note("clear text after 234: connection dropped");
        reason_ = "bytes arrived in clear text after 234, before the TLS handshake";
        return SessionError::ConnectionLost;
    }
    return StartTls();
}

// The handshake and the certificate check; on failure the connection is gone,
// nothing having been sent on it.
SessionError FtpSession::StartTls() {
    auto client = std::make_shared<TlsClient>(tlsSettings_, host_);
    if (!client->Ready()) {
        tlsCheck_ = {TlsVerdict::HandshakeFailed, client->Error(), {}};
        return SessionError::NotSecure;
    }
    const NetStatus status = channel_.Secure(*client, tlsCheck_);
    if (status == NetStatus::Timeout) {
        trace_.Note("TLS failed: no handshake answer");
        reason_ = "no TLS handshake answer within " + SecondsText(timeouts_.connect);
        return SessionError::TimedOut;
    }
    if (status != NetStatus::Ok) {
        trace_.Note("TLS failed: " + tlsCheck_.reason);
        return SessionError::NotSecure;
    }
    const TlsFacts &facts = tlsCheck_.facts;
    trace_.Note("TLS " + facts.version + ", " + facts.cipher + ", certificate " + facts.subject + ", SHA-256 " +
                facts.fingerprint);
    tls_ = std::move(client);
    return SessionError::None;
}

}  // namespace sapi::ftpclient
