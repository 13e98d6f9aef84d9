// What a server said of itself in its FEAT reply. A server that does not
// answer FEAT gets the benefit of the doubt: MLSD, SIZE and EPSV are tried and
// given up after their first "500"/"502" (FtpSession remembers that).
#pragma once

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

struct FeatureSet {
    bool known = false;  // FEAT answered 211
    bool mlsd = false;   // "MLST ..." or "MLSD" listed
    bool size = false;
    bool utf8 = false;
    bool mdtm = false;
};

FeatureSet ParseFeatures(const FtpReply &reply);

}  // namespace sapi::ftpclient
