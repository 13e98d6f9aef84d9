// Data connections: passive (EPSV, falling back to PASV) and active (EPRT,
// falling back to PORT), always between the two hosts of the control
// connection.
#include <algorithm>
#include <cstdio>

#include "ftp/services/sockets/FtpSession.h"
#include "ftp/services/sockets/TcpStream.h"
#include "ftp/protocol/PassiveReply.h"

namespace sapi::ftpclient {

namespace {

// Replies by which a server says it does not know a command (or this form of it).
bool NotImplemented(const FtpReply &reply) {
    return reply.code == 500 || reply.code == 501 || reply.code == 502 || reply.code == 504 ||
           reply.code == 522;
}

SessionError ErrorOfData(NetStatus status) {
    return status == NetStatus::Timeout ? SessionError::TimedOut : SessionError::CannotConnect;
}

// "EPRT |1|127.0.0.1|40000|" or "EPRT |2|::1|40000|".
std::string ExtendedPortCommand(const SocketAddress &address) {
    const char *family = address.IsIpv6() ? "2" : "1";
    return std::string("EPRT |") + family + "|" + address.HostText() + "|" +
           std::to_string(address.Port()) + "|";
}

// "PORT 127,0,0,1,156,64".
std::string PortCommand(const SocketAddress &address) {
    std::string host = address.HostText();
    for (char &c : host) {
        if (c == '.') c = ',';
    }
    return "PORT " + host + "," + std::to_string(address.Port() / 256) + "," +
           std::to_string(address.Port() % 256);
}

}  // namespace

SessionError FtpSession::PrepareDataChannel(DataChannel &channel) {
    return passive_ ? PreparePassive(channel) : PrepareActive(channel);
}

SessionError FtpSession::PreparePassive(DataChannel &channel) {
    FtpReply reply;
    if (useExtendedPassive_) {
        if (const SessionError error = Exchange("EPSV", reply)) return error;
        if (reply.code == 229) {
            if (const std::optional<uint16_t> port = ParseExtendedPassivePort(reply.FirstLineMessage())) {
                return ConnectData(*port, channel);
            }
        }
        if (!NotImplemented(reply) && reply.code != 229) return Refused(reply);
        useExtendedPassive_ = false;
    }
    if (const SessionError error = Exchange("PASV", reply)) return error;
    if (reply.code != 227) return Refused(reply);
    // The address in the reply is ignored on purpose (see PassiveReply.h).
    const std::optional<uint16_t> port = ParsePassivePort(reply.FirstLineMessage());
    if (!port) return Refused(reply);
    return ConnectData(*port, channel);
}

SessionError FtpSession::ConnectData(uint16_t port, DataChannel &channel) {
    SocketAddress address = control_.Peer();
    address.SetPort(port);
    Socket socket;
    const NetStatus status = ConnectSocket(address, DeadlineAfter(CurrentTimeouts().connect), socket);
    if (status != NetStatus::Ok) return ErrorOfData(status);
    return OpenedData(channel, std::move(socket));
}

SessionError FtpSession::PrepareActive(DataChannel &channel) {
    SocketAddress bound;
    if (ListenOn(control_.Local(), channel.listener, bound) != NetStatus::Ok) {
        return SessionError::CannotConnect;
    }
    FtpReply reply;
    if (useExtendedPort_) {
        if (const SessionError error = Exchange(ExtendedPortCommand(bound), reply)) return error;
        if (reply.IsSuccess()) return SessionError::None;
        if (!NotImplemented(reply) || bound.IsIpv6()) return Refused(reply);
        useExtendedPort_ = false;
    }
    if (bound.IsIpv6()) return Refused(reply);
    if (const SessionError error = Exchange(PortCommand(bound), reply)) return error;
    return reply.IsSuccess() ? SessionError::None : Refused(reply);
}

// After the transfer command: in active mode the server connects now; in
// both modes a TLS data connection starts its handshake now.
SessionError FtpSession::CompleteDataChannel(DataChannel &channel, FtpReply &final) {
    if (!channel.IsOpen()) {
        if (const SessionError error = AcceptData(channel, final)) return error;
        if (final.code != 0) return SessionError::None;
    }
    return SecureData(channel);
}

// A server that cannot reach us says so on the control connection ("425
// Can't open data connection", or "421" as it gives up): that word ends the
// wait at once, where the listener alone would wait out the whole timeout.
// A server connects before it says how a transfer ended, so a connection
// already waiting is taken first, and a "226" read then is left for the end.
SessionError FtpSession::AcceptData(DataChannel &channel, FtpReply &final) {
    constexpr Milliseconds controlLook{50};
    const Deadline deadline = DeadlineAfter(CurrentTimeouts().connect);
    for (;;) {
        control_.TakeAvailable();
        if (!control_.IsOpen()) return ReplyTrouble(SessionError::ConnectionLost);
        const bool replied = control_.HasReply();
        Socket socket;
        const NetStatus status = AcceptFrom(channel.listener, control_.Peer(),
                                            replied ? SteadyClock::now() : std::min(deadline, DeadlineAfter(controlLook)),
                                            socket);
        if (status == NetStatus::Ok) {
            channel.listener.Close();
            return OpenedData(channel, std::move(socket));
        }
        if (status != NetStatus::Timeout || (Passed(deadline) && !replied)) {
            channel.listener.Close();
            return ErrorOfData(status);
        }
        if (!replied) continue;
        FtpReply reply;
        if (const SessionError error = NextAnswer(reply, deadline)) return error;
        if (reply.IsPreliminary()) continue;
        channel.listener.Close();
        final = reply;
        return SessionError::None;
    }
}

SessionError FtpSession::OpenedData(DataChannel &channel, Socket socket) {
    SocketAddress peer;
    PeerAddress(socket, peer);
    channel.data = std::make_unique<TcpStream>(std::move(socket));
    channel.openedAt = trace_.Seconds();
    trace_.Note("data connection opened with " + peer.HostText() + " port " + std::to_string(peer.Port()));
    return SessionError::None;
}

void FtpSession::CloseData(DataChannel &channel) {
    if (channel.data) {
        const double seconds = trace_.Seconds() - channel.openedAt;
        char timing[32];
        std::snprintf(timing, sizeof timing, "%.3f", seconds);
        trace_.Note("data connection closed: " + std::to_string(channel.moved) + " bytes in " + timing + " s");
    }
    channel = DataChannel{};
}

SessionError FtpSession::DataTrouble(SessionError error, bool finalSeen) {
    if (error == SessionError::TimedOut) return ReplyTrouble(error);
    if (!finalSeen && state_ == SessionState::Ready) ChangeState(SessionState::OutOfStep);
    return error;
}

}  // namespace sapi::ftpclient
