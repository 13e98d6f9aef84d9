// Data connections: passive (EPSV, falling back to PASV) and active (EPRT,
// falling back to PORT), always between the two hosts of the control
// connection.
#include <netinet/in.h>

#include "ftp/services/WinInetConstants.h"
#include "ftp/services/sockets/FtpSession.h"
#include "ftp/protocol/PassiveReply.h"

namespace sapi::ftpclient {

using namespace sapi::wininet;

namespace {

// Replies by which a server says it does not know a command (or this form of it).
bool NotImplemented(const FtpReply &reply) {
    return reply.code == 500 || reply.code == 501 || reply.code == 502 || reply.code == 504 ||
           reply.code == 522;
}

uint32_t ErrorOfData(NetStatus status) {
    return status == NetStatus::Timeout ? ERROR_INTERNET_TIMEOUT : ERROR_INTERNET_CANNOT_CONNECT;
}

// "EPRT |1|127.0.0.1|40000|" or "EPRT |2|::1|40000|".
std::string ExtendedPortCommand(const SocketAddress &address) {
    const char *family = address.Family() == AF_INET6 ? "2" : "1";
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

uint32_t FtpSession::PrepareDataChannel(DataChannel &channel) {
    return passive_ ? PreparePassive(channel) : PrepareActive(channel);
}

uint32_t FtpSession::PreparePassive(DataChannel &channel) {
    FtpReply reply;
    if (useExtendedPassive_) {
        if (const uint32_t error = Exchange("EPSV", reply)) return error;
        if (reply.code == 229) {
            if (const std::optional<uint16_t> port = ParseExtendedPassivePort(reply.FirstLineMessage())) {
                return ConnectData(*port, channel);
            }
        }
        if (!NotImplemented(reply) && reply.code != 229) return Refused(reply);
        useExtendedPassive_ = false;
    }
    if (const uint32_t error = Exchange("PASV", reply)) return error;
    if (reply.code != 227) return Refused(reply);
    // The address in the reply is ignored on purpose (see PassiveReply.h).
    const std::optional<uint16_t> port = ParsePassivePort(reply.FirstLineMessage());
    if (!port) return Refused(reply);
    return ConnectData(*port, channel);
}

uint32_t FtpSession::ConnectData(uint16_t port, DataChannel &channel) {
    SocketAddress address = control_.Peer();
    address.SetPort(port);
    const NetStatus status = ConnectSocket(address, CurrentTimeouts().connect, channel.data);
    return status == NetStatus::Ok ? ERROR_SUCCESS : ErrorOfData(status);
}

uint32_t FtpSession::PrepareActive(DataChannel &channel) {
    SocketAddress bound;
    if (ListenOn(control_.Local(), channel.listener, bound) != NetStatus::Ok) {
        return ERROR_INTERNET_CANNOT_CONNECT;
    }
    FtpReply reply;
    if (useExtendedPort_) {
        if (const uint32_t error = Exchange(ExtendedPortCommand(bound), reply)) return error;
        if (reply.IsSuccess()) return ERROR_SUCCESS;
        if (!NotImplemented(reply) || bound.Family() == AF_INET6) return Refused(reply);
        useExtendedPort_ = false;
    }
    if (bound.Family() == AF_INET6) return Refused(reply);
    if (const uint32_t error = Exchange(PortCommand(bound), reply)) return error;
    return reply.IsSuccess() ? ERROR_SUCCESS : Refused(reply);
}

// Active mode: the server connects once it has the transfer command.
uint32_t FtpSession::CompleteDataChannel(DataChannel &channel) {
    if (channel.data.IsOpen()) return ERROR_SUCCESS;
    const NetStatus status =
        AcceptFrom(channel.listener, control_.Peer(), CurrentTimeouts().connect, channel.data);
    channel.listener.Close();
    return status == NetStatus::Ok ? ERROR_SUCCESS : ErrorOfData(status);
}

}  // namespace sapi::ftpclient
