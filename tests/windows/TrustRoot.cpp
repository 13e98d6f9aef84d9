// trust_root.exe CERT.pem: adds a CA's certificate to this user's trusted
// roots, as an administrator would, so that the suite can show that the DLL
// trusts what Windows trusts. Run only inside the suite's own Wine prefix.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trust_root CERT.pem\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::stringstream pem;
    pem << file.rdbuf();
    const std::string text = pem.str();
    DWORD size = 0;
    if (!::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                &size, nullptr, nullptr)) {
        std::fprintf(stderr, "trust_root: %s holds no PEM certificate\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(size);
    ::CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                           &size, nullptr, nullptr);
    if (!::CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(), size)) {
        std::fprintf(stderr, "trust_root: the ROOT store refused it (error %lu)\n", ::GetLastError());
        return 1;
    }
    return 0;
}
