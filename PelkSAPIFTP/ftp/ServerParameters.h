// The server settings OpenServer takes from a parameter set.
#pragma once

#include <cstdint>

#include "base/ResultCode.h"
#include "ftp/TlsRequest.h"
#include "platform/WideText.h"

namespace sapi {

struct ServerParameters {
    WideString serverName;
    int32_t port = 0;
    bool usePassive = false;
    bool verifyByRead = false;
    bool endOnConfirmation = false;
    bool stopOnRefusal = false;
    bool reconnect = false;
    uint32_t verifyHash = 0;  // 0 off, 1 where the server offers a digest, 2 required
    uint32_t followGrowing = 0;  // seconds of quiet that end a followed retrieval; 0 off
    WideString invalidFollowGrowing;  // the text given, when it is no such number
    WideString userName;
    WideString password;
    TlsRequest tls;
};

// Reads the keys in a fixed order, stopping at the first required one that
// fails: an absent one gives ApiMissingServerParameter, any other failure its
// own code (ApiInvalidArgument for a set that is not registered). A port read as
// the runtime reads numbers (leading digits) must lie within 1 to 65535, or it
// counts as missing. The flags
// are optional and read as false when they cannot be read; so are the TLS keys
// (absent: clear text, as before them).
ResultCode ReadServerParameters(int32_t parameterSet, ServerParameters &parameters);

}  // namespace sapi
