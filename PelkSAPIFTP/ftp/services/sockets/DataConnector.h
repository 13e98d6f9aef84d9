// Data connections: passive (EPSV, falling back to PASV) and active (EPRT,
// falling back to PORT), always between the two hosts of the control
// connection, in TLS when the control connection is.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ftp/services/sockets/DataChannel.h"
#include "ftp/services/sockets/ReplyChannel.h"
#include "ftp/services/sockets/TlsClient.h"

namespace sapi::ftpclient {

class DataConnector {
public:
    DataConnector(ReplyChannel &channel, StreamFactory &streams, SessionTrace &trace, const ClientTimeouts &timeouts,
                  bool passive)
        : channel_(channel), streams_(streams), trace_(trace), timeouts_(timeouts), passive_(passive) {}

    // Every data connection from now on in TLS, resuming the control
    // connection's session.
    void UseTls(std::shared_ptr<TlsClient> tls) { tls_ = std::move(tls); }

    // Before the transfer command: passive mode begins to connect, active
    // mode listens and says where.
    SessionError Prepare(DataChannel &channel);
    // After it: passive mode waits for its connect only now, so the command
    // goes out with it rather than a round trip later; in active mode the
    // server connects now; in both modes a TLS data connection starts its
    // handshake now (pyftpdlib drops a data connection that speaks before it
    // has the command). A final reply that ends the wait for an active-mode
    // connection instead ("425 Can't open data connection") comes back in
    // `final`, with no data connection open.
    SessionError Complete(DataChannel &channel, FtpReply &final);
    void Close(DataChannel &channel);

    // The passive-mode command the next data connection will ask, for a
    // caller that sends it ahead with its own commands in one flight; none
    // in active mode or when an answer is kept already.
    std::optional<std::string> PassiveCommand() const;
    // That command's answer, kept for the next data connection for a few
    // seconds (well inside the time every server we know keeps a passive port
    // open: vsftpd 60 s, pyftpdlib 30 s); Forget drops it.
    void KeepPassiveAnswer(const std::string &command, const FtpReply &reply);
    // The kept port's connect begins now, as its answer came: a server that
    // waits for it (Twisted's) reads no other command until it arrives.
    void BeginConnectAhead();
    // Drops the kept port, and closes its connection if begun and unused.
    void Forget() { kept_.reset(); }

private:
    SessionError PreparePassive(DataChannel &channel);
    static std::optional<uint16_t> PortOf(const std::string &command, const FtpReply &reply);
    NetStatus BeginConnect(uint16_t port, SocketAddress &peer, std::unique_ptr<PendingStream> &pending);
    SessionError FinishConnect(DataChannel &channel);
    SessionError PrepareActive(DataChannel &channel);
    SessionError Accept(DataChannel &channel, FtpReply &final);
    SessionError Secure(DataChannel &channel);
    void Opened(DataChannel &channel, std::unique_ptr<ByteStream> stream, const SocketAddress &peer);

    ReplyChannel &channel_;
    StreamFactory &streams_;
    SessionTrace &trace_;
    const ClientTimeouts &timeouts_;
    bool passive_;
    bool useExtendedPassive_ = true;
    bool useExtendedPort_ = true;
    std::shared_ptr<TlsClient> tls_;
    bool HasFreshAnswer() const { return kept_ && !Passed(kept_->until); }
    struct KeptPort {
        uint16_t port;
        SocketAddress peer;
        std::unique_ptr<PendingStream> pending;
        Deadline until;
    };
    std::optional<KeptPort> kept_;
};

}  // namespace sapi::ftpclient
