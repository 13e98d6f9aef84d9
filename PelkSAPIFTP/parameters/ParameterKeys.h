// Every parameter key the plug-in knows (spelled once, in ServerApi.h, for
// hosts and module alike), and the labels the description operations write
// for them. Keys are narrow texts compared byte by byte.
#pragma once

#include "ServerApi.h"
#include "platform/WideText.h"

namespace sapi {

// Server settings: written by the host, read by OpenServer.
inline constexpr const char *ServerPrimaryAddressKey = SERVER_API_KEY_PRIMARY_ADDRESS;
inline constexpr const char *ServerPrimaryPortKey = SERVER_API_KEY_PRIMARY_PORT;
inline constexpr const char *ServerPrimaryLoginNameKey = SERVER_API_KEY_PRIMARY_LOGIN_NAME;
inline constexpr const char *ServerPrimaryLoginPasswordKey = SERVER_API_KEY_PRIMARY_LOGIN_PASSWORD;
inline constexpr const char *ServerUsePassiveKey = SERVER_API_KEY_USE_PASSIVE;
inline constexpr const char *ServerVerifyByReadKey = SERVER_API_KEY_VERIFY_BY_READ;
// Optional, absent means off: end a retrieval at the server's confirmation of
// its end rather than after ten empty reads; let GetAssetInfo give up on a 5xx.
inline constexpr const char *ServerEndOnConfirmationKey = SERVER_API_KEY_END_ON_CONFIRMATION;
inline constexpr const char *ServerStopOnRefusalKey = SERVER_API_KEY_STOP_ON_REFUSAL;
// Optional, absent means off: a connection the server or the network dropped
// is opened again within the call, and a retrieval cut short resumes.
inline constexpr const char *ServerReconnectKey = SERVER_API_KEY_RECONNECT;
// Optional, absent or 0 means off: 1 checks every transfer against the
// server's own digest where it offers one, 2 fails a transfer it cannot check.
inline constexpr const char *ServerVerifyHashKey = SERVER_API_KEY_VERIFY_HASH;
// Optional, absent or 0 means off: 1 to 3600 follows a file that grows while
// it is retrieved, until its size has stayed the same for that many seconds.
inline constexpr const char *ServerFollowGrowingKey = SERVER_API_KEY_FOLLOW_GROWING;
inline constexpr const char *ServerUseTLSKey = SERVER_API_KEY_USE_TLS;
inline constexpr const char *ServerTLSCAFileKey = SERVER_API_KEY_TLS_CA_FILE;
inline constexpr const char *ServerTLSFingerprintKey = SERVER_API_KEY_TLS_FINGERPRINT;
// Their labels. A host that has the module describe its keys and fills in
// only some leaves the label as the value of the others: for these keys that
// means the host set nothing.
inline constexpr const WideChar *ServerUseTLSLabel = SAPI_WIDE("Use TLS (0 no, 1 explicit FTPS, 2 implicit FTPS)");
inline constexpr const WideChar *ServerTLSCAFileLabel = SAPI_WIDE("TLS CA File");
inline constexpr const WideChar *ServerFollowGrowingLabel =
    SAPI_WIDE("Follow Growing Files (seconds of quiet that end a download, 0 no)");
inline constexpr const WideChar *ServerTLSFingerprintLabel = SAPI_WIDE("TLS Certificate SHA-256 Fingerprint");
// Written by OpenServer into the server's set when TLS failed: why, in one
// line, and the certificate's SHA-256 fingerprint.
inline constexpr const char *ServerTLSFailureKey = SERVER_API_KEY_TLS_FAILURE;
// Written by OpenServer into the server's set whenever the open failed: what
// happened, in one line. A successful open removes it.
inline constexpr const char *ServerFailureKey = SERVER_API_KEY_FAILURE;
// Written after every transfer on a connection opened with "ServerVerifyHash",
// into the set it was opened with, while the host keeps that set: what the
// check found ("verified (SHA-256)", or why not). Removed when no check was made.
inline constexpr const char *ServerVerifyResultKey = SERVER_API_KEY_VERIFY_RESULT;
// Written after every listing into the set the connection was opened with:
// how many lines were not understood and what completed them; removed when
// every line was read.
inline constexpr const char *ServerListingNoteKey = SERVER_API_KEY_LISTING_NOTE;

// Asset attributes: written by GetAssetInfo, read by the host.
inline constexpr const char *AssetNameKey = SERVER_API_KEY_ASSET_NAME;
inline constexpr const char *AssetSizeKey = SERVER_API_KEY_ASSET_SIZE;
inline constexpr const char *UnderConstructionKey = SERVER_API_KEY_UNDER_CONSTRUCTION;

// The name an upload is stored under: written by the host, read by the uploads.
inline constexpr const char *TitleKey = SERVER_API_KEY_TITLE;

}  // namespace sapi
