// The certificates the TLS tests serve, made once per test process by
// tests/servers/make-test-certificates.sh: a private CA, a server certificate
// from it, one for another name, an expired one, and a self-signed one.
#pragma once

#include <filesystem>
#include <string>

namespace sapi::interop {

struct TestCertificate {
    std::filesystem::path certificate;
    std::filesystem::path key;
};

class TestCertificates {
public:
    static const TestCertificates &Get();

    std::filesystem::path caFile() const { return folder_ / "ca.crt"; }
    // "server", "wrongname", "expired", "self".
    TestCertificate Named(const std::string &name) const;
    // Its SHA-256 fingerprint as openssl prints it: "AB:CD:...".
    std::string Fingerprint(const std::string &name) const;

private:
    TestCertificates();
    std::filesystem::path folder_;
};

}  // namespace sapi::interop
