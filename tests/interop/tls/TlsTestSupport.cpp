#include "TlsTestSupport.h"

#include "ftp/services/sockets/ClientTimeouts.h"

namespace sapi::interop {

TlsServer::TlsServer(const std::string &kind, const std::string &tls, const std::string &certificate,
                     const std::function<void(const std::filesystem::path &)> &populate,
                     const std::filesystem::path &log) {
    std::filesystem::create_directories(root);
    if (populate) populate(root);
    test::TestFtpServerOptions options;
    options.tls = tls;
    options.logCopy = log;
    if (!tls.empty()) {
        const TestCertificate served = TestCertificates::Get().Named(certificate);
        options.tlsCertificate = served.certificate;
        options.tlsKey = served.key;
    }
    server = std::make_unique<test::TestFtpServer>(kind, root, test::TestFtpServer::DefaultUser,
                                                   test::TestFtpServer::DefaultPassword, options);
}

TlsRequest Tls(uint32_t mode, const std::string &caFile, const std::string &fingerprint) {
    return {mode, WideFromUtf8(caFile), WideFromUtf8(fingerprint), {}};
}

void UseTls(InteropClient &client, const TlsRequest &request) {
    client.beforeConnect = [request](FtpClientServices &services, InternetHandle root) {
        WideString reason;
        return RequestTls(services, root, request, reason);
    };
}

void UseTestTimeouts() {
    ftpclient::ClientTimeouts timeouts;
    timeouts.connect = timeouts.receive = timeouts.send = ftpclient::Milliseconds(20'000);
    ftpclient::SetTimeoutsForTesting(timeouts);
}

}  // namespace sapi::interop
