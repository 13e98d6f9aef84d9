// The client services that new connections are made with: the platform's, unless
// a test has put a scripted stand-in in their place.
#pragma once

#include "ftp/services/FtpClientServices.h"

namespace sapi {

FtpClientServices &ActiveFtpClientServices();

// Makes `services` the ones new connections use (null: the platform's again) and
// returns the previous choice (null when it was the platform's). Connections
// already made keep theirs.
FtpClientServices *UseFtpClientServices(FtpClientServices *services);

}  // namespace sapi
