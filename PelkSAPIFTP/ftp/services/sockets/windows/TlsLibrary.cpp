#include "ftp/services/sockets/TlsLibrary.h"

#include <windows.h>
#include <wincrypt.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace sapi::ftpclient {

namespace {

bool started = false;

// OpenSSL is linked into the DLL itself, and its tables must go with the DLL.
// OpenSSL's own exit handler cannot do it: it is registered with the C
// runtime's process-wide list (_onexit), which would call it at process exit,
// in a DLL unloaded long before. A static object's destructor runs when this
// DLL is unloaded, or at process exit while it is still loaded.
struct OpenSslEnd {
    ~OpenSslEnd() {
        if (started) OPENSSL_cleanup();
    }
} openSslEnd;

}  // namespace

bool StartTls() {
    static const bool once = [] {
        started = OPENSSL_init_ssl(OPENSSL_INIT_NO_ATEXIT | OPENSSL_INIT_LOAD_SSL_STRINGS |
                                       OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_LOAD_CONFIG,
                                   nullptr) == 1;
        return started;
    }();
    return once;
}

// The roots Windows trusts for this user (which include the machine's),
// copied into OpenSSL's store: OpenSSL then checks the chain and the name as
// it does on Linux. A certificate OpenSSL cannot read is left out.
bool TrustSystemRoots(SSL_CTX *context) {
    HCERTSTORE system = ::CertOpenSystemStoreW(0, L"ROOT");
    if (system == nullptr) return false;
    X509_STORE *store = SSL_CTX_get_cert_store(context);
    for (PCCERT_CONTEXT certificate = ::CertEnumCertificatesInStore(system, nullptr); certificate != nullptr;
         certificate = ::CertEnumCertificatesInStore(system, certificate)) {
        const unsigned char *encoded = certificate->pbCertEncoded;
        X509 *copy = d2i_X509(nullptr, &encoded, static_cast<long>(certificate->cbCertEncoded));
        if (copy == nullptr) continue;
        X509_STORE_add_cert(store, copy);  // a duplicate is refused, harmlessly
        X509_free(copy);
    }
    ::CertCloseStore(system, 0);
    ERR_clear_error();
    return true;
}

}  // namespace sapi::ftpclient
