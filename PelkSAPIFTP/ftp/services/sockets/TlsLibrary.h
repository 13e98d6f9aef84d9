// OpenSSL, started once per process, and the certificates this system trusts.
#pragma once

typedef struct ssl_ctx_st SSL_CTX;

namespace sapi::ftpclient {

// Starts OpenSSL. On POSIX, where libssl and libcrypto are libraries of their
// own, without exit handlers, and keeping them loaded for the life of the
// process: a host may unload this module and load it again, and an exit handler
// would then point into unmapped code, and libraries unloaded with the module
// would take their tables with them (leaked under a sanitizer). In the Windows
// DLL OpenSSL is linked in, and is cleaned up when the DLL unloads. False when
// OpenSSL cannot start.
bool StartTls();

// Makes the system's trusted root certificates those of `context`: OpenSSL's
// default locations on POSIX, the "ROOT" certificate store on Windows. False
// when they cannot be read.
bool TrustSystemRoots(SSL_CTX *context);

}  // namespace sapi::ftpclient
