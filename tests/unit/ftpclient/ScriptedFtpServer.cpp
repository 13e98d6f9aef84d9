#include "ScriptedFtpServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <array>
#include <cstdio>
#include <utility>

namespace ftpclienttest {

using namespace sapi::ftpclient;

namespace {

const Milliseconds wait{scriptWaitMilliseconds};

SocketAddress Loopback() {
    SocketAddress address;
    auto &ipv4 = reinterpret_cast<sockaddr_in &>(address.storage);
    ipv4.sin_family = AF_INET;
    ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.length = sizeof(sockaddr_in);
    return address;
}

void Note(std::string &failure, const std::string &what) {
    if (failure.empty()) failure = what;
}

// One key and self-signed certificate for every scripted TLS session.
struct ScriptCertificate {
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *certificate = X509_new();

    ScriptCertificate() {
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
        X509_NAME *name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>("scripted"),
                                   -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509_set_pubkey(certificate, key);
        X509_sign(certificate, key, EVP_sha256());
    }
    ~ScriptCertificate() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

const ScriptCertificate &Certificate() {
    static const ScriptCertificate made;
    return made;
}

}  // namespace

void ScriptPeer::Send(const std::string &text) {
    const bool sent = tls_ ? SSL_write(tls_.get(), text.data(), static_cast<int>(text.size())) > 0
                           : SendAll(control, text.data(), text.size(), wait) == NetStatus::Ok;
    if (!sent) Note(failure, "send failed: " + text);
}

std::string ScriptPeer::Receive() {
    for (;;) {
        const std::size_t end = pending_.find("\r\n");
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 2);
            return WithoutInterrupt(line);
        }
        std::array<char, 4096> buffer;
        std::size_t got = 0;
        if (tls_) {
            const int read = SSL_read(tls_.get(), buffer.data(), static_cast<int>(buffer.size()));
            if (read <= 0) return {};
            got = static_cast<std::size_t>(read);
        } else if (ReceiveSome(control, buffer.data(), buffer.size(), got, wait) != NetStatus::Ok) {
            return {};
        }
        pending_.append(buffer.data(), got);
    }
}

// Telnet IP and Synch before a command: IAC IP IAC in the stream, the DM as
// TCP urgent data. With SO_OOBINLINE off the kernel takes that one byte out
// of the stream, so a DM still in the line was not sent as urgent data.
std::string ScriptPeer::WithoutInterrupt(const std::string &line) {
    static const std::string prefix = "\xff\xf4\xff";
    if (line.compare(0, prefix.size(), prefix) != 0) return line;
    interrupted = true;
    urgentMark = line.size() > prefix.size() && line[prefix.size()] != '\xf2';
    return line.substr(prefix.size() + (urgentMark ? 0 : 1));
}

std::string ScriptPeer::Expect(const std::string &prefix) {
    std::string line = Receive();
    if (line.compare(0, prefix.size(), prefix) != 0) Note(failure, "expected " + prefix + ", got [" + line + "]");
    return line;
}

void ScriptPeer::LogIn(const std::string &features, const std::string &folder) {
    Reply("220 scripted server ready");
    Expect("USER");
    Reply("331 Password required");
    Expect("PASS");
    Reply("230 Logged in");
    Expect("FEAT");
    Expect("TYPE I");
    Expect("PWD");
    Send("211-Features:\r\n" + features + "211 End\r\n200 Type set to I\r\n257 \"" + folder +
         "\" is the current directory\r\n");
    if (features.find("UTF8") != std::string::npos) {
        Expect("OPTS UTF8 ON");
        Reply("200 UTF8 set to on");
    }
}

void ScriptPeer::AnswerSize(const std::string &command, const std::string &reply) {
    Expect(command);
    Reply(reply);
}

// OpenSSL reads and writes the socket itself here: blocking, with the
// script's wait limit on each call.
void ScriptPeer::AcceptTls() {
    Expect("AUTH TLS");
    Reply("234 AUTH TLS successful");
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, Certificate().certificate);
    SSL_CTX_use_PrivateKey(context, Certificate().key);
    tls_.reset(SSL_new(context), SSL_free);
    SSL_CTX_free(context);  // the connection holds its own reference
    const int fd = control.Fd();
    const timeval limit{scriptWaitMilliseconds / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SSL_set_fd(tls_.get(), fd);
    if (SSL_accept(tls_.get()) != 1) Note(failure, "TLS handshake failed");
}

std::string ScriptPeer::TlsFingerprint() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(Certificate().certificate, EVP_sha256(), digest, &length);
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", digest[i]);
        text += hex;
    }
    return text;
}

void ScriptPeer::AnswerMarker() {
    Expect("SYST");
    Reply("215 UNIX Type: L8");
}

void ScriptPeer::AnswerPassive() {
    Expect("EPSV");
    Reply(ListenForData());
}

std::string ScriptPeer::ListenForData() {
    SocketAddress bound;
    if (ListenOn(Loopback(), dataListener, bound) != NetStatus::Ok) Note(failure, "data listen failed");
    return "229 Entering Extended Passive Mode (|||" + std::to_string(bound.Port()) + "|)";
}

void ScriptPeer::AcceptData() {
    if (AcceptFrom(dataListener, Loopback(), wait, data) != NetStatus::Ok) Note(failure, "no data connection");
    dataListener.Close();
}

void ScriptPeer::SendData(const std::string &bytes) {
    if (SendAll(data, bytes.data(), bytes.size(), wait) != NetStatus::Ok) Note(failure, "data send failed");
}

std::string ScriptPeer::ReceiveAllData() {
    std::string all;
    std::array<char, 65536> buffer;
    std::size_t got = 0;
    while (ReceiveSome(data, buffer.data(), buffer.size(), got, wait) == NetStatus::Ok) all.append(buffer.data(), got);
    return all;
}

void ScriptPeer::CloseData() { data.Close(); }

void ScriptPeer::ResetData() {
    const linger abrupt{1, 0};
    ::setsockopt(data.Fd(), SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    data.Close();
}

void ScriptPeer::StopListening() {
    if (listener != nullptr) listener->Close();
}

void ScriptPeer::ListenAgain() {
    Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
    const int on = 1;
    ::setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket.Fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(socket.Fd(), 8) != 0) {
        return Note(failure, "cannot listen again on the server's port");
    }
    if (listener != nullptr) *listener = std::move(socket);
}

void ScriptPeer::Reset() {
    data.Close();
    dataListener.Close();
    tls_.reset();
    control.Close();
    pending_.clear();
}

ScriptedFtpServer::ScriptedFtpServer(std::function<void(ScriptPeer &)> script, int connections) {
    SocketAddress bound;
    ListenOn(Loopback(), listener_, bound);
    port_ = bound.Port();
    // Taken by the connections it accepts: a closed one waiting out its
    // TIME_WAIT does not keep ListenAgain from the port.
    const int on = 1;
    ::setsockopt(listener_.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    thread_ = std::thread(
        [this, script = std::move(script), connections]() mutable { Run(std::move(script), connections); });
}

void ScriptedFtpServer::Run(std::function<void(ScriptPeer &)> script, int connections) {
    peer_.listener = &listener_;
    peer_.port = port_;
    for (peer_.connection = 0; peer_.connection < connections; ++peer_.connection) {
        if (AcceptFrom(listener_, Loopback(), wait, peer_.control) != NetStatus::Ok) {
            Note(peer_.failure, "no client connected");
            break;
        }
        script(peer_);
        if (peer_.connection + 1 < connections) peer_.Reset();
    }
    finished_ = true;
}

std::string ScriptedFtpServer::Finish() {
    if (thread_.joinable()) thread_.join();
    return peer_.failure;
}

ScriptedFtpServer::~ScriptedFtpServer() {
    // Unblocks a script still waiting on its client, then ends the thread.
    if (peer_.control.IsOpen()) ::shutdown(peer_.control.Fd(), SHUT_RDWR);
    if (peer_.data.IsOpen()) ::shutdown(peer_.data.Fd(), SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
}

}  // namespace ftpclienttest
