// Why a connection could not be opened, or went away: one line for the host
// to show a person, written into the server's set by OpenServer.
#pragma once

#include <cstdint>

#include "ftp/services/FtpClientServices.h"
#include "platform/WideText.h"

namespace sapi {

// The client services' last response, as WinInet keeps it per thread: the
// server's last reply, or from our own client the reason a connection failed.
WideString LastResponseText(FtpClientServices &services);

// The last request failed because the connection is gone (timed out, closed,
// reset), not because the server said no.
bool IsConnectionGone(uint32_t error);

// Why the last request failed, in one line: the client's or the server's own
// words where there are any, else what the error number means.
WideString FailureText(FtpClientServices &services, const WideString &serverName, int32_t port);

}  // namespace sapi
