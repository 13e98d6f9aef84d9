#include "ftp/services/sockets/SocketFtpClientServices.h"

namespace sapi {

FtpClientServices &PlatformFtpClientServices() {
    static ftpclient::SocketFtpClientServices services;
    return services;
}

}  // namespace sapi
