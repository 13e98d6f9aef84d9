// What a server said of itself in its FEAT reply. A server that does not
// answer FEAT gets the benefit of the doubt: MLSD, SIZE and EPSV are tried and
// given up after their first "500"/"502" (FtpSession remembers that).
#pragma once

#include <string>

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

struct FeatureSet {
    bool known = false;  // FEAT answered 211
    bool mlsd = false;   // "MLST ..." or "MLSD" listed
    bool size = false;
    bool utf8 = false;
    bool mdtm = false;
    // "HASH CRC32;MD5;SHA-1*;SHA-256;SHA-512;": the names as listed, the
    // server's current choice marked with '*'. Empty when HASH is not listed.
    std::string hash;
    // The older one-algorithm commands: XCRC, XMD5, XSHA or XSHA1, XSHA256.
    bool xcrc = false;
    bool xmd5 = false;
    bool xsha1 = false;
    bool xsha256 = false;
};

FeatureSet ParseFeatures(const FtpReply &reply);

}  // namespace sapi::ftpclient
