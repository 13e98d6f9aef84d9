#include "ftp/services/sockets/DataConnector.h"

#include <algorithm>
#include <cstdio>

#include "ftp/protocol/PassiveReply.h"
#include "ftp/protocol/ReplyCodes.h"
#include "ftp/services/sockets/TlsStream.h"

namespace sapi::ftpclient {

namespace {

SessionError ErrorOfData(NetStatus status) {
    return status == NetStatus::Timeout ? SessionError::TimedOut : SessionError::CannotConnect;
}

// "EPRT |1|127.0.0.1|40000|" or "EPRT |2|::1|40000|".
std::string ExtendedPortCommand(const SocketAddress &address) {
    const char *family = address.IsIpv6() ? "2" : "1";
    return std::string("EPRT |") + family + "|" + address.HostText() + "|" + std::to_string(address.Port()) + "|";
}

// "PORT 127,0,0,1,156,64".
std::string PortCommand(const SocketAddress &address) {
    std::string host = address.HostText();
    for (char &c : host) {
        if (c == '.') c = ',';
    }
    return "PORT " + host + "," + std::to_string(address.Port() / 256) + "," + std::to_string(address.Port() % 256);
}

}  // namespace

SessionError DataConnector::Prepare(DataChannel &channel) {
    return passive_ ? PreparePassive(channel) : PrepareActive(channel);
}

SessionError DataConnector::PreparePassive(DataChannel &channel) {
    BeginConnectAhead();
    if (HasFreshAnswer()) {
        channel.peer = kept_->peer;
        channel.pending = std::move(kept_->pending);
        kept_.reset();
        return SessionError::None;
    }
    kept_.reset();
    FtpReply reply;
    std::optional<uint16_t> port;
    if (useExtendedPassive_) {
        if (const SessionError error = channel_.AskFinal("EPSV", reply)) return error;
        port = PortOf("EPSV", reply);
        if (!port && reply.code != 229 && !NotImplemented(reply)) return SessionError::Refused;
        if (!port) useExtendedPassive_ = false;
    }
    if (!port) {
        if (const SessionError error = channel_.AskFinal("PASV", reply)) return error;
        port = PortOf("PASV", reply);
        if (!port) return SessionError::Refused;
    }
    const NetStatus status = BeginConnect(*port, channel.peer, channel.pending);
    return status == NetStatus::Ok ? SessionError::None : ErrorOfData(status);
}

// The address in a "227" is ignored on purpose (see PassiveReply.h): the
// data connection goes to the control connection's peer.
std::optional<uint16_t> DataConnector::PortOf(const std::string &command, const FtpReply &reply) {
    if (command == "EPSV") return reply.code == 229 ? ParseExtendedPassivePort(reply.FirstLineMessage()) : std::nullopt;
    return reply.code == 227 ? ParsePassivePort(reply.FirstLineMessage()) : std::nullopt;
}

NetStatus DataConnector::BeginConnect(uint16_t port, SocketAddress &peer, std::unique_ptr<PendingStream> &pending) {
    peer = channel_.Peer();
    peer.SetPort(port);
    return streams_.BeginConnectTo(peer, DeadlineAfter(timeouts_.connect), pending);
}

std::optional<std::string> DataConnector::PassiveCommand() const {
    if (!passive_ || HasFreshAnswer()) return std::nullopt;
    return std::string(useExtendedPassive_ ? "EPSV" : "PASV");
}

void DataConnector::KeepPassiveAnswer(const std::string &command, const FtpReply &reply) {
    constexpr Milliseconds keptFor{10000};
    kept_.reset();
    // Only a port is kept; a server without EPSV gets PASV from now on.
    if (const std::optional<uint16_t> port = PortOf(command, reply)) {
        kept_ = KeptPort{*port, {}, {}, DeadlineAfter(keptFor)};
    } else if (command == "EPSV" && NotImplemented(reply)) {
        useExtendedPassive_ = false;
    }
}

// The server (vsftpd, proftpd, pure-ftpd: from its listening queue;
// pyftpdlib: "125 Data connection already open") then starts the transfer
// the moment the command comes, a round trip sooner. Only a retrieval about
// to start keeps a port, so no idle session holds a data connection
// (pyftpdlib does not end a session that has one).
void DataConnector::BeginConnectAhead() {
    if (!HasFreshAnswer() || kept_->pending) return;
    if (BeginConnect(kept_->port, kept_->peer, kept_->pending) != NetStatus::Ok) kept_.reset();
}

SessionError DataConnector::FinishConnect(DataChannel &channel) {
    std::unique_ptr<ByteStream> stream;
    const NetStatus status = channel.pending->Finish(DeadlineAfter(timeouts_.connect), stream);
    channel.pending.reset();
    if (status != NetStatus::Ok) return ErrorOfData(status);
    Opened(channel, std::move(stream), channel.peer);
    return SessionError::None;
}

SessionError DataConnector::PrepareActive(DataChannel &channel) {
    SocketAddress bound;
    if (streams_.Listen(channel_.Local(), channel.listener, bound) != NetStatus::Ok) return SessionError::CannotConnect;
    FtpReply reply;
    if (useExtendedPort_) {
        if (const SessionError error = channel_.AskFinal(ExtendedPortCommand(bound), reply)) return error;
        if (reply.IsSuccess()) return SessionError::None;
        if (!NotImplemented(reply) || bound.IsIpv6()) return SessionError::Refused;
        useExtendedPort_ = false;
    }
    if (bound.IsIpv6()) return SessionError::Refused;
    if (const SessionError error = channel_.AskFinal(PortCommand(bound), reply)) return error;
    return reply.IsSuccess() ? SessionError::None : SessionError::Refused;
}

SessionError DataConnector::Complete(DataChannel &channel, FtpReply &final) {
    if (channel.pending) {
        if (const SessionError error = FinishConnect(channel)) return error;
    } else if (!channel.IsOpen()) {
        if (const SessionError error = Accept(channel, final)) return error;
        if (final.code != 0) return SessionError::None;
    }
    return Secure(channel);
}

// A server that cannot reach us says so on the control connection ("425
// Can't open data connection", or "421" as it gives up): that word ends the
// wait at once, where the listener alone would wait out the whole timeout.
// A server connects before it says how a transfer ended, so a connection
// already waiting is taken first, and a "226" read then is left for the end.
SessionError DataConnector::Accept(DataChannel &channel, FtpReply &final) {
    constexpr Milliseconds controlLook{50};
    const Deadline deadline = DeadlineAfter(timeouts_.connect);
    for (;;) {
        const bool replied = channel_.ReplyWaiting();
        if (!channel_.IsOpen()) return channel_.GiveUp(SessionError::ConnectionLost);
        std::unique_ptr<ByteStream> stream;
        SocketAddress peer;
        const Deadline look = replied ? SteadyClock::now() : std::min(deadline, DeadlineAfter(controlLook));
        const NetStatus status = channel.listener->Accept(channel_.Peer(), look, stream, peer);
        if (status == NetStatus::Ok) {
            channel.listener.reset();
            Opened(channel, std::move(stream), peer);
            return SessionError::None;
        }
        if (status != NetStatus::Timeout || (Passed(deadline) && !replied)) {
            channel.listener.reset();
            return ErrorOfData(status);
        }
        if (!replied) continue;
        FtpReply reply;
        if (const SessionError error = channel_.NextAnswer(reply, deadline)) return error;
        if (reply.IsPreliminary()) continue;
        channel.listener.reset();
        final = reply;
        return SessionError::None;
    }
}

// The handshake resumes the control connection's TLS session, which vsftpd
// and proftpd require.
SessionError DataConnector::Secure(DataChannel &channel) {
    if (!tls_ || !channel.data) return SessionError::None;
    auto secured = std::make_unique<TlsStream>(std::move(channel.data));
    TlsCheck check;
    const NetStatus status = secured->Handshake(*tls_, false, DeadlineAfter(timeouts_.connect), check);
    if (status != NetStatus::Ok) {
        trace_.Note("TLS failed: " + check.reason);
        return ErrorOfData(status);
    }
    channel.data = std::move(secured);
    return SessionError::None;
}

void DataConnector::Opened(DataChannel &channel, std::unique_ptr<ByteStream> stream, const SocketAddress &peer) {
    channel.data = std::move(stream);
    channel.openedAt = trace_.Seconds();
    trace_.Note("data connection opened with " + peer.HostText() + " port " + std::to_string(peer.Port()));
}

void DataConnector::Close(DataChannel &channel) {
    if (channel.data) {
        char timing[32];
        std::snprintf(timing, sizeof timing, "%.3f", trace_.Seconds() - channel.openedAt);
        trace_.Note("data connection closed: " + std::to_string(channel.moved) + " bytes in " + timing + " s");
    }
    channel = DataChannel{};
}

}  // namespace sapi::ftpclient
