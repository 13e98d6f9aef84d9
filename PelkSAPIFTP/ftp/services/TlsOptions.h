// FTPS through the WinInet-shaped interface. WinInet's FTP has no TLS, so the
// settings travel as options of our own on the root handle (InternetSetOption
// before InternetConnect); every connection made from that root takes them.
// WinInet refuses these numbers (ERROR_INTERNET_INVALID_OPTION), so a host
// that asks for TLS there gets a failed open, never a clear-text connection.
#pragma once

#include <cstdint>

namespace sapi {

// Far above WinInet's own option numbers.
// A uint32_t: 0 clear text, 1 explicit FTPS (AUTH TLS, required), 2 implicit FTPS.
constexpr uint32_t SAPI_OPTION_FTP_TLS_MODE = 0x5341'5001;
// UTF-16 text, length in characters: a PEM file of the CAs to trust instead of the system's.
constexpr uint32_t SAPI_OPTION_FTP_TLS_CA_FILE = 0x5341'5002;
// UTF-16 text, length in characters: the SHA-256 fingerprint of the one certificate to trust.
constexpr uint32_t SAPI_OPTION_FTP_TLS_FINGERPRINT = 0x5341'5003;

// A uint32_t, 1 or 0: a connection the server or the network dropped is
// opened again within the call that finds it gone, and a retrieval cut short
// resumes where it stopped. Ours alone; WinInet refuses it.
constexpr uint32_t SAPI_OPTION_FTP_RECONNECT = 0x5341'5004;

// A uint32_t: 0 off, 1 every transfer that reaches its end is checked against
// the server's own digest of the file where the server offers one, 2 the same
// and a server that offers none fails it. Ours alone; WinInet refuses it.
constexpr uint32_t SAPI_OPTION_FTP_VERIFY_HASH = 0x5341'5005;
// Queried on a connect handle: UTF-16 text, what the last check found
// ("verified (SHA-256)", or why not); *length in bytes, as for any option.
constexpr uint32_t SAPI_OPTION_FTP_VERIFICATION = 0x5341'5006;
// Queried on a connect handle after a store failed: a uint32_t, 1 when the
// store was cut under it and the client, which reconnects, may take the file
// again: a caller that holds the bytes whole sends them once more.
constexpr uint32_t SAPI_OPTION_FTP_SEND_AGAIN = 0x5341'5010;

// A uint32_t: 0 off; 1 to 3600, a retrieval that reaches its end follows the
// file while it grows, and ends once its size has stayed the same for that
// many seconds. Ours alone; WinInet refuses it.
constexpr uint32_t SAPI_OPTION_FTP_FOLLOW_GROWING = 0x5341'5008;
constexpr uint32_t maxFollowQuietSeconds = 3600;

// Queried on a connect handle: UTF-16 text, empty unless some lines of the
// last listing were no entry: how many, and what was done about them.
constexpr uint32_t SAPI_OPTION_FTP_LISTING_NOTE = 0x5341'5007;

enum class TlsMode : uint32_t { Clear = 0, Explicit = 1, Implicit = 2 };

}  // namespace sapi
