#include "ftp/services/sockets/TlsLibrary.h"

#include <dlfcn.h>
#include <openssl/crypto.h>
#include <openssl/ssl.h>

namespace sapi::ftpclient {

namespace {

// Loads again, for good, the library that holds `symbol`.
void KeepLoaded(void *symbol) {
    Dl_info info{};
    if (::dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return;
    // The handle is never closed, on purpose: RTLD_NODELETE makes the library
    // stay even then, and we keep the reference besides.
    ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

bool StartTls() {
    static const bool started = [] {
        KeepLoaded(reinterpret_cast<void *>(&SSL_CTX_new));
        KeepLoaded(reinterpret_cast<void *>(&OPENSSL_init_crypto));
        return OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_LOAD_SSL_STRINGS |
                                    OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                                nullptr) == 1;
    }();
    return started;
}

bool TrustSystemRoots(SSL_CTX *context) { return SSL_CTX_set_default_verify_paths(context) == 1; }

}  // namespace sapi::ftpclient
