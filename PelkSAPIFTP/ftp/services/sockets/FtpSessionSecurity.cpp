// The points where a session's streams are secured. A plain session keeps the
// TCP streams it connected; TLS wraps them here and nowhere else.
#include "ftp/services/sockets/FtpSession.h"

#include "ftp/services/sockets/TcpStream.h"
#include "ftp/services/sockets/TlsStream.h"

namespace sapi::ftpclient {

// Explicit TLS: AUTH TLS right after the greeting, and nothing else if the
// server will not (vsftpd, proftpd and pyftpdlib answer 234; pure-ftpd too).
SessionError FtpSession::SecureControl() {
    if (tlsSettings_.mode != TlsMode::Explicit) return SessionError::None;
    FtpReply reply;
    if (const SessionError error = Exchange("AUTH TLS", reply)) return error;
    if (reply.code != 234) return Refused(reply);
    // Nothing may follow the "234" before the handshake: bytes that did came
    // in clear text from whoever is on the path, and kept in the reply reader
    // they would be read as the first answers inside TLS ("234 go" and
    // "230 fake" in one write: a login without a password).
    control_.TakeAvailable();
    if (control_.HasUnread()) {
        trace_.Note("clear text after 234: connection dropped");
        return Failed(SessionError::ConnectionLost, "bytes arrived in clear text after 234, before the TLS handshake");
    }
    return StartTls();
}

SessionError FtpSession::StartTls() {
    auto client = std::make_shared<TlsClient>(tlsSettings_, host_);
    if (!client->Ready()) {
        tlsCheck_ = {TlsVerdict::HandshakeFailed, client->Error(), {}};
        return Failed(SessionError::NotSecure);
    }
    tls_ = std::move(client);
    return Wrap(control_.Stream(), true);
}

// The TCP stream gives its socket to a TLS stream, which takes its place once
// the handshake and the certificate check passed; on failure the connection
// is gone, nothing having been sent on it.
SessionError FtpSession::Wrap(std::unique_ptr<ByteStream> &stream, bool control) {
    auto *tcp = dynamic_cast<TcpStream *>(stream.get());
    if (tcp == nullptr) return SessionError::None;  // secured already
    auto secured = std::make_unique<TlsStream>(tcp->Release());
    stream.reset();
    TlsCheck check;
    const NetStatus status = secured->Handshake(*tls_, control, DeadlineAfter(CurrentTimeouts().connect), check);
    if (control || status != NetStatus::Ok) tlsCheck_ = check;
    if (control && status == NetStatus::Ok) {
        const TlsFacts &facts = check.facts;
        trace_.Note("TLS " + facts.version + ", " + facts.cipher + ", certificate " + facts.subject +
                    ", SHA-256 " + facts.fingerprint);
    } else if (status != NetStatus::Ok) {
        trace_.Note("TLS failed: " + check.reason);
    }
    if (status == NetStatus::Timeout) {
        const std::string wait = SecondsText(CurrentTimeouts().connect);
        return control ? Failed(SessionError::TimedOut, "no TLS handshake answer within " + wait)
                       : SessionError::TimedOut;
    }
    if (status != NetStatus::Ok) return control ? Failed(SessionError::NotSecure) : SessionError::CannotConnect;
    stream = std::move(secured);
    return SessionError::None;
}

// Called once the transfer command is out, in both modes: pyftpdlib drops a
// data connection that speaks before it has the command. The handshake
// resumes the control connection's session, which vsftpd and proftpd require.
SessionError FtpSession::SecureData(DataChannel &channel) {
    if (!tls_ || !channel.data) return SessionError::None;
    return Wrap(channel.data, false);
}

// pyftpdlib wants PBSZ before PROT; a server that will not protect the data
// gets no transfers from us rather than transfers in clear text.
SessionError FtpSession::ProtectData() {
    if (!tls_) return SessionError::None;
    FtpReply reply;
    for (const char *command : {"PBSZ 0", "PROT P"}) {
        if (const SessionError error = Exchange(command, reply)) return error;
        if (!reply.IsSuccess()) return Refused(reply);
    }
    return SessionError::None;
}

}  // namespace sapi::ftpclient
