// An FTP server on 127.0.0.1 that plays a script written in the test, for what
// real servers will not do on demand: stall, end a data connection early,
// refuse at the last moment, lie in a PASV reply, send a line without end.
// The script runs on a thread of its own; every wait in it has a time limit,
// and the destructor ends the connections and joins the thread, so a test that
// fails still stops its server.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "ftp/services/sockets/Socket.h"

struct ssl_st;

namespace ftpclienttest {

using sapi::ftpclient::Socket;

class ScriptPeer {
public:
    // Sends text as is; Reply adds CR LF.
    void Send(const std::string &text);
    void Reply(const std::string &line) { Send(line + "\r\n"); }
    // The next command line (without CR LF); empty after a timeout or close.
    std::string Receive();
    // Receives a command and records a failure unless it starts with `prefix`.
    std::string Expect(const std::string &prefix);
    // Greeting, USER, PASS, then FEAT (listing `features`), TYPE I and PWD
    // in one flight, answered in one write; then OPTS UTF8 ON where
    // `features` has UTF8.
    void LogIn(const std::string &features = " MLST type*;size*;\r\n SIZE\r\n EPSV\r\n UTF8\r\n",
               const std::string &folder = "/");

    // AUTH TLS answered "234", then the handshake on a self-signed
    // certificate: the control connection speaks TLS from then on.
    void AcceptTls();
    // That certificate's SHA-256 fingerprint, for the client to pin.
    static std::string TlsFingerprint();

    // A host's SIZE; no passive port goes with it.
    void AnswerSize(const std::string &command, const std::string &reply);

    // The marker a client sends to get back in step: SYST, answered "215".
    void AnswerMarker();

    // Passive data: EPSV answered with a fresh listener's port, accepted
    // once the client connects.
    void AnswerPassive();
    // A fresh listener, and the "229" line that names its port.
    std::string ListenForData();
    void AcceptData();
    void SendData(const std::string &bytes);
    std::string ReceiveAllData();
    void CloseData();
    // Ends the data connection with a reset, as a broken link or a server
    // that gives up does.
    void ResetData();
    // The server stops taking connections: a client's next connect is refused.
    void StopListening();
    // And takes them again, on the same port: a server back from a restart.
    void ListenAgain();

    // Ends this connection's sockets, for the next connection of the script.
    void Reset();

    std::string failure;  // first thing that went wrong, for the test to report
    bool interrupted = false;  // a command came after Telnet IP (stripped from it)
    bool urgentMark = false;   // and its Synch's DM came as TCP urgent data
    int connection = 0;   // which of the server's connections this is, from 0
    Socket control;
    Socket dataListener;
    Socket data;
    Socket *listener = nullptr;  // the server's, for StopListening
    uint16_t port = 0;            // the server's

private:
    std::string WithoutInterrupt(const std::string &line);
    std::string pending_;
    std::shared_ptr<ssl_st> tls_;
};

class ScriptedFtpServer {
public:
    // The script runs once per connection, `connections` times in turn.
    explicit ScriptedFtpServer(std::function<void(ScriptPeer &)> script, int connections = 1);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer &) = delete;
    ScriptedFtpServer &operator=(const ScriptedFtpServer &) = delete;

    uint16_t Port() const { return port_; }
    // Waits for the script to end and returns its failure text (empty: none).
    std::string Finish();

private:
    void Run(std::function<void(ScriptPeer &)> script, int connections);

    Socket listener_;
    uint16_t port_ = 0;
    ScriptPeer peer_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Wait limit of every step of a script.
constexpr int scriptWaitMilliseconds = 5000;

}  // namespace ftpclienttest
