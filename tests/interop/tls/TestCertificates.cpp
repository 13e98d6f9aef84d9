#include "TestCertificates.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "TestFiles.h"

namespace sapi::interop {

namespace {

std::string Run(const std::string &command) {
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) output += buffer;
    return output;
}

std::filesystem::path SourceDir() {
    const char *source = std::getenv("SAPI_SOURCE_DIR");
    if (source == nullptr) throw std::runtime_error("SAPI_SOURCE_DIR is not set");
    return source;
}

}  // namespace

TestCertificates::TestCertificates() {
    static test::TempDir folder("sapi-tls-certificates");
    folder_ = folder.path();
    const std::string script = (SourceDir() / "tests/servers/make-test-certificates.sh").string();
    if (std::system((script + " " + folder_.string()).c_str()) != 0) {
        throw std::runtime_error("cannot make the test certificates");
    }
}

const TestCertificates &TestCertificates::Get() {
    static const TestCertificates certificates;
    return certificates;
}

TestCertificate TestCertificates::Named(const std::string &name) const {
    return {folder_ / (name + ".crt"), folder_ / (name + ".key")};
}

std::string TestCertificates::Fingerprint(const std::string &name) const {
    const std::string output =
        Run("openssl x509 -noout -fingerprint -sha256 -in " + Named(name).certificate.string());
    const std::size_t equals = output.find('=');
    if (equals == std::string::npos) throw std::runtime_error("no fingerprint for " + name);
    return output.substr(equals + 1, output.find_last_not_of("\n") - equals);
}

}  // namespace sapi::interop
