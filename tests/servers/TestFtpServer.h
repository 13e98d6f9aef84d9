// A real FTP server on loopback for one test, started through the launcher
// tests/servers/ftpserver.py. The launcher's stdin is a pipe held by this object:
// the destructor closes it and waits for the launcher to stop the server and its
// sessions, and if the test process dies the launcher sees the same end of file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "UniqueFd.h"

namespace sapi::test {

struct TestFtpServerOptions {
    std::string address = "127.0.0.1";  // or "::1"
    bool sizeInAscii = false;           // pyftpdlib: answer SIZE before TYPE I too
    bool slowFailedLogins = false;      // keep the server's delay after a wrong password
    std::filesystem::path logCopy;      // when set, the server's log is copied here on stop
    // Folders under the root that the user may list but not write.
    std::vector<std::string> readOnlyFolders;
    // Seconds after which the server closes an idle session (0: its default;
    // pure-ftpd rounds up to whole minutes).
    int idleTimeoutSeconds = 0;
    // vsftpd: false logs the user in without a chroot, so the login folder is
    // the root's full path, as for a local user in a home such as /home/alice.
    bool chroot = true;
    // pyftpdlib: file data goes out in bursts of this many bytes, about two
    // seconds apart (0: as fast as it can).
    int burstBytes = 0;
    // pyftpdlib: entries named "odd-..." listed in a line no client reads.
    bool oddListingLines = false;
    // "explicit" or "implicit" (vsftpd and proftpd only): TLS required on the
    // control and data connections, with this certificate and key (PEM).
    std::string tls;
    // proftpd: mod_digest on, answering HASH and the X commands.
    bool digests = false;
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
};

class TestFtpServer {
public:
    // vsftpd logs in a system account, which the launcher adds under this name
    // (no other name is accepted for vsftpd) and removes when the last vsftpd
    // launcher stops. vsftpd servers running at the same time share its password.
    static constexpr const char *DefaultUser = "sapiftp";
    static constexpr const char *DefaultPassword = "secret";

    // "pyftpdlib", "vsftpd", "proftpd", "pureftpd".
    static const std::vector<std::string> &Kinds();
    // Those and two servers without TLS, options or digests, run as found
    // (launch/kinds.py says what they do unlike the others): "inetutils"
    // (inetutils-ftpd under socat, a system account) and "twisted".
    static const std::vector<std::string> &PlainKinds();

    // Starts `kind` serving `root` (made if missing; handed to the server's
    // account). Throws when the server does not come up within 30 seconds.
    TestFtpServer(std::string kind, const std::filesystem::path &root,
                  std::string user = DefaultUser, std::string password = DefaultPassword,
                  TestFtpServerOptions options = {});
    ~TestFtpServer();
    TestFtpServer(const TestFtpServer &) = delete;
    TestFtpServer &operator=(const TestFtpServer &) = delete;

    uint16_t port() const { return port_; }
    const std::string &kind() const { return kind_; }
    const std::string &address() const { return options_.address; }
    const std::string &user() const { return user_; }
    const std::string &password() const { return password_; }

    // Gives `path` (recursively) to the account the server writes as, so that it
    // may overwrite or delete what a test put under the root after the start.
    void GiveToServer(const std::filesystem::path &path) const;

    // Stops the server now; the destructor then has nothing left to do.
    void Stop();

private:
    void Spawn(const std::filesystem::path &root);
    void ReadStartLines();

    std::string kind_;
    std::string user_;
    std::string password_;
    TestFtpServerOptions options_;
    pid_t launcher_ = -1;
    UniqueFd stdinPipe_;   // the launcher runs until this closes
    UniqueFd stdoutPipe_;  // its "UID n" and "PORT n" lines
    uid_t serverUid_ = 0;
    uint16_t port_ = 0;
};

}  // namespace sapi::test
