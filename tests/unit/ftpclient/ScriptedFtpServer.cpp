#include "ScriptedFtpServer.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>

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

}  // namespace

void ScriptPeer::Send(const std::string &text) {
    if (SendAll(control, text.data(), text.size(), wait) != NetStatus::Ok) Note(failure, "send failed: " + text);
}

std::string ScriptPeer::Receive() {
    for (;;) {
        const std::size_t end = pending_.find("\r\n");
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 2);
            return line;
        }
        std::array<char, 4096> buffer;
        std::size_t got = 0;
        if (ReceiveSome(control, buffer.data(), buffer.size(), got, wait) != NetStatus::Ok) return {};
        pending_.append(buffer.data(), got);
    }
}

std::string ScriptPeer::Expect(const std::string &prefix) {
    std::string line = Receive();
    if (line.compare(0, prefix.size(), prefix) != 0) Note(failure, "expected " + prefix + ", got [" + line + "]");
    return line;
}

void ScriptPeer::LogIn(const std::string &features) {
    Reply("220 scripted server ready");
    Expect("USER");
    Reply("331 Password required");
    Expect("PASS");
    Reply("230 Logged in");
    Expect("FEAT");
    Send("211-Features:\r\n" + features + "211 End\r\n");
    if (features.find("UTF8") != std::string::npos) {
        Expect("OPTS UTF8 ON");
        Reply("200 UTF8 set to on");
    }
    Expect("TYPE I");
    Reply("200 Type set to I");
}

void ScriptPeer::AnswerMarker() {
    Expect("SYST");
    Reply("215 UNIX Type: L8");
}

void ScriptPeer::AnswerPassive() {
    Expect("EPSV");
    SocketAddress bound;
    if (ListenOn(Loopback(), dataListener, bound) != NetStatus::Ok) Note(failure, "data listen failed");
    Reply("229 Entering Extended Passive Mode (|||" + std::to_string(bound.Port()) + "|)");
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

ScriptedFtpServer::ScriptedFtpServer(std::function<void(ScriptPeer &)> script) {
    SocketAddress bound;
    ListenOn(Loopback(), listener_, bound);
    port_ = bound.Port();
    thread_ = std::thread([this, script = std::move(script)]() mutable { Run(std::move(script)); });
}

void ScriptedFtpServer::Run(std::function<void(ScriptPeer &)> script) {
    if (AcceptFrom(listener_, Loopback(), wait, peer_.control) == NetStatus::Ok) {
        script(peer_);
    } else {
        Note(peer_.failure, "no client connected");
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
