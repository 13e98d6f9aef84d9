// What a connection's TLS must be and whom it trusts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ftp/services/TlsOptions.h"

namespace sapi::ftpclient {

using Fingerprint = std::array<uint8_t, 32>;  // SHA-256 of the certificate's DER bytes

struct TlsSettings {
    TlsMode mode = TlsMode::Clear;
    std::string caFile;                   // empty: the system's CA store
    std::optional<Fingerprint> pinned;    // trust exactly this certificate
};

// "AB:CD:…" (as `openssl x509 -fingerprint -sha256` prints it, with or without
// its "sha256 Fingerprint=" prefix), either case, colons or blanks optional.
std::optional<Fingerprint> ParseFingerprint(const std::string &text);
// Upper-case hex pairs joined by colons.
std::string FingerprintText(const Fingerprint &fingerprint);

}  // namespace sapi::ftpclient
