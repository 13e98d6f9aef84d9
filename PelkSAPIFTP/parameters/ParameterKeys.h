// Every parameter key the plug-in knows, and the labels the description
// operations write for them. Keys are narrow texts compared byte by byte.
#pragma once

#include "platform/WideText.h"

namespace sapi {

// Server settings: written by the host, read by OpenServer.
inline constexpr const char *ServerPrimaryAddressKey = "ServerPrimaryAddress";
inline constexpr const char *ServerPrimaryPortKey = "ServerPrimaryPort";
inline constexpr const char *ServerPrimaryLoginNameKey = "ServerPrimaryLoginName";
inline constexpr const char *ServerPrimaryLoginPasswordKey = "ServerPrimaryLoginPassword";
inline constexpr const char *ServerUsePassiveKey = "ServerUsePassive";
inline constexpr const char *ServerVerifyByReadKey = "ServerVerifyByRead";
// Optional, absent means off: end a retrieval at the server's confirmation of
// its end rather than after ten empty reads; let GetAssetInfo give up on a 5xx.
inline constexpr const char *ServerEndOnConfirmationKey = "ServerEndOnConfirmation";
inline constexpr const char *ServerStopOnRefusalKey = "ServerStopOnRefusal";
// Optional, absent means off: a connection the server or the network dropped
// is opened again within the call, and a retrieval cut short resumes.
inline constexpr const char *ServerReconnectKey = "ServerReconnect";
// Optional, absent or 0 means off: 1 checks every transfer against the
// server's own digest where it offers one, 2 fails a transfer it cannot check.
inline constexpr const char *ServerVerifyHashKey = "ServerVerifyHash";
inline constexpr const char *ServerUseTLSKey = "ServerUseTLS";
inline constexpr const char *ServerTLSCAFileKey = "ServerTLSCAFile";
inline constexpr const char *ServerTLSFingerprintKey = "ServerTLSFingerprint";
// Their labels. A host that has the module describe its keys and fills in
// only some leaves the label as the value of the others: for these keys that
// means the host set nothing.
inline constexpr const WideChar *ServerUseTLSLabel = SAPI_WIDE("Use TLS (0 no, 1 explicit FTPS, 2 implicit FTPS)");
inline constexpr const WideChar *ServerTLSCAFileLabel = SAPI_WIDE("TLS CA File");
inline constexpr const WideChar *ServerTLSFingerprintLabel = SAPI_WIDE("TLS Certificate SHA-256 Fingerprint");
// Written by OpenServer into the server's set when TLS failed: why, in one
// line, and the certificate's SHA-256 fingerprint.
inline constexpr const char *ServerTLSFailureKey = "ServerTLSFailure";
// Written by OpenServer into the server's set whenever the open failed: what
// happened, in one line. A successful open removes it.
inline constexpr const char *ServerFailureKey = "ServerFailure";
// Written after every transfer on a connection opened with "ServerVerifyHash",
// into the set it was opened with, while the host keeps that set: what the
// check found ("verified (SHA-256)", or why not). Removed when no check was made.
inline constexpr const char *ServerVerifyResultKey = "ServerVerifyResult";

// Asset attributes: written by GetAssetInfo, read by the host.
inline constexpr const char *AssetNameKey = "AssetName";
inline constexpr const char *AssetSizeKey = "AssetSize";
inline constexpr const char *UnderConstructionKey = "Under Construction";

// The name an upload is stored under: written by the host, read by the uploads.
inline constexpr const char *TitleKey = "Title";

}  // namespace sapi
