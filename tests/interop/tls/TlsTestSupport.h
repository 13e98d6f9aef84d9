// What the TLS suites share: a server with TLS on a certificate of the test
// set, and a client that asks for TLS the way the connection code does.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "InteropClient.h"
#include "TestCertificates.h"
#include "TestFiles.h"
#include "TestFtpServer.h"
#include "ftp/TlsRequest.h"

namespace sapi::interop {

// A server in its own folder; `tls` is "explicit", "implicit" or "" (clear).
struct TlsServer {
    TlsServer(const std::string &kind, const std::string &tls, const std::string &certificate,
              const std::function<void(const std::filesystem::path &root)> &populate = {},
              const std::filesystem::path &log = {});
    test::TempDir work{"sapi-interop-tls"};
    std::filesystem::path root = work / "root";
    std::unique_ptr<test::TestFtpServer> server;
};

// mode: 1 explicit, 2 implicit; empty texts are not set.
TlsRequest Tls(uint32_t mode, const std::string &caFile = {}, const std::string &fingerprint = {});
// Sets `request` on the client's root handle before every connect.
void UseTls(InteropClient &client, const TlsRequest &request);
// Shorter waits than the shipped client's, so that a stall fails a test in seconds.
void UseTestTimeouts();

}  // namespace sapi::interop
