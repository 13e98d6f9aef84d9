// OpenSSL, started once per process.
#pragma once

namespace sapi::ftpclient {

// Starts OpenSSL without exit handlers and keeps libssl and libcrypto loaded for
// the life of the process. A host may unload this module and load it again: an
// exit handler would then point into unmapped code, and a library unloaded with
// the module would take its tables with it (leaked under a sanitizer) and start
// afresh on the next load. False when OpenSSL cannot start.
bool StartTls();

}  // namespace sapi::ftpclient
