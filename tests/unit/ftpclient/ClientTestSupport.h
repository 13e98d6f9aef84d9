// The client under test, connected to a scripted server.
#pragma once

#include <string>

#include "ScriptedFtpServer.h"
#include "ftp/services/WinInetConstants.h"
#include "ftp/services/sockets/ClientTimeouts.h"
#include "ftp/services/sockets/SocketFtpClientServices.h"

namespace ftpclienttest {

using sapi::InternetHandle;
using sapi::WideString;
using sapi::ftpclient::SocketFtpClientServices;

WideString Wide(const std::string &text);
std::string Narrow(const sapi::WideChar *text);

// Shortens the client's waits for one test, so that stall tests end quickly.
class ShortTimeouts {
public:
    ShortTimeouts();
    ~ShortTimeouts();

private:
    sapi::ftpclient::ClientTimeouts saved_;
};

struct Client {
    SocketFtpClientServices services;
    InternetHandle root = nullptr;
    InternetHandle connect = nullptr;

    Client();
    ~Client();
    // Logs in to the scripted server on `port`; true when a handle came back.
    bool Connect(uint16_t port, bool passive = true, const std::string &host = "127.0.0.1");
    // The text InternetGetLastResponseInfo gives now.
    std::string Response();
    bool Command(const std::string &command);
    InternetHandle Open(const std::string &name, bool retrieve);
    // Reads to the end; false when a read failed.
    bool ReadAll(InternetHandle file, std::string &data);
};

}  // namespace ftpclienttest
