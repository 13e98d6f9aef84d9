// What a host asked of a connection's TLS, as the server parameters say it.
#pragma once

#include <cstdint>

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/TlsOptions.h"
#include "platform/WideText.h"

namespace sapi {

struct TlsRequest {
    // The number the host gave; anything but 0, 1 and 2 is refused by the
    // client services, so that a mistyped mode never ends in clear text.
    uint32_t mode = 0;
    WideString caFile;
    WideString fingerprint;

    bool Wanted() const { return mode != static_cast<uint32_t>(TlsMode::Clear); }
};

// Hands the request to the client services on a root handle; false when they
// refuse any part of it (WinInet refuses all of it).
bool RequestTls(FtpClientServices &services, InternetHandle root, const TlsRequest &request);

// Whether a failed InternetConnect failed on the server's certificate or the TLS
// handshake, with the reason in InternetGetLastResponseInfo.
bool IsTlsFailure(uint32_t error);
// That reason, as the client services left it.
WideString TlsFailureText(FtpClientServices &services);

}  // namespace sapi
