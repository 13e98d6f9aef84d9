#include "ftp/ActiveFtpClientServices.h"

namespace sapi {
namespace {

FtpClientServices *&Chosen() {
    static FtpClientServices *chosen = nullptr;
    return chosen;
}

}  // namespace

FtpClientServices &ActiveFtpClientServices() {
    FtpClientServices *chosen = Chosen();
    return chosen != nullptr ? *chosen : PlatformFtpClientServices();
}

FtpClientServices *UseFtpClientServices(FtpClientServices *services) {
    FtpClientServices *previous = Chosen();
    Chosen() = services;
    return previous;
}

}  // namespace sapi
