// Which digest to ask a server for, and the digest in its answer. Servers
// that hash files themselves say so in FEAT: proftpd's mod_digest lists
// "HASH CRC32;MD5;SHA-1*;SHA-256;SHA-512;" and the older XCRC, XMD5, XSHA1,
// XSHA256 beside it. HASH takes the algorithm chosen with "OPTS HASH name"
// and answers "213 SHA-256 0-100000 7745ff... f.bin"; the X commands name
// their algorithm and answer with the hex digest alone ("250 7745ff...").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

enum class DigestAlgorithm { Crc32, Md5, Sha1, Sha256, Sha512 };

// As HASH names it: "CRC32", "MD5", "SHA-1", "SHA-256", "SHA-512".
const char *NameOf(DigestAlgorithm algorithm);
// Hex digits in a digest of this algorithm.
std::size_t HexLength(DigestAlgorithm algorithm);

struct DigestRequest {
    DigestAlgorithm algorithm = DigestAlgorithm::Sha256;
    std::string verb;  // "HASH", "XSHA256", ...
};

// The strongest algorithm HASH lists (SHA-256 before SHA-512), else XSHA256,
// XSHA1, XMD5, XCRC in that order; none when FEAT lists none of them.
std::optional<DigestRequest> ChooseDigest(const FeatureSet &features);

// Whether HASH answers with this algorithm without an OPTS HASH first: FEAT
// marks the server's current one with '*'.
bool IsCurrentHash(const FeatureSet &features, DigestAlgorithm algorithm);

// The digest in the final reply to `request`, in lower-case hex; none when
// the reply holds no digest of the right algorithm and length.
std::optional<std::string> DigestIn(const FtpReply &reply, const DigestRequest &request);

}  // namespace sapi::ftpclient
