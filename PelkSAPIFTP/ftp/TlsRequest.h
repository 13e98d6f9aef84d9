// What a host asked of a connection's TLS, as the server parameters say it.
#pragma once

#include <cstdint>

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/TlsOptions.h"
#include "platform/WideText.h"

namespace sapi {

struct TlsRequest {
    // The mode the host asked for: 0, 1 or 2.
    uint32_t mode = 0;
    WideString caFile;
    WideString fingerprint;
    // The host's text for the mode when it was none of "0", "1", "2": a host
    // that wrote "yes" meant TLS, so the open fails rather than go clear.
    WideString invalidMode;

    bool Wanted() const { return mode != static_cast<uint32_t>(TlsMode::Clear) || !invalidMode.empty(); }
};

// Hands the request to the client services on a root handle; false when they
// refuse any part of it (WinInet refuses all of it), with the reason.
bool RequestTls(FtpClientServices &services, InternetHandle root, const TlsRequest &request, WideString &reason);

// Whether a failed InternetConnect failed on the server's certificate or the TLS
// handshake, with the reason in InternetGetLastResponseInfo.
bool IsTlsFailure(uint32_t error);
// That reason, as the client services left it.
WideString TlsFailureText(FtpClientServices &services);

}  // namespace sapi
