#include "ftp/services/wininet/WinInetFtpClientServices.h"

namespace sapi {

FtpClientServices &PlatformFtpClientServices() {
    static WinInetFtpClientServices services;
    return services;
}

}  // namespace sapi
