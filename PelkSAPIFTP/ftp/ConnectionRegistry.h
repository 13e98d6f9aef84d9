// The module's open connections, each under the handle that OpenServer gave it.
// The registry shares their ownership with the calls under way on them: a call
// holds what it found until it returns, so that a host closing the connection
// from inside one of its callbacks only unregisters it, and the object goes
// when the last holder lets go. Any thread may use it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "ftp/FtpConnection.h"
#include "platform/Mutex.h"

namespace sapi {

// A host's call on one connection: the connection is held until this one
// returns, and calls from other threads meanwhile are refused (Busy), never
// kept waiting: the call inside may be running host code that waits for them.
class ConnectionCall {
public:
    explicit ConnectionCall(std::shared_ptr<FtpConnection> connection);
    ~ConnectionCall();
    ConnectionCall(const ConnectionCall &) = delete;
    ConnectionCall &operator=(const ConnectionCall &) = delete;

    // Entered: the call may go on.
    explicit operator bool() const { return connection_ != nullptr; }
    bool Busy() const { return busy_; }
    // Why a call that did not enter ends: busy, or no such connection.
    ResultCode Refusal() const { return busy_ ? ApiConnectionBusy : ApiNoSuchConnection; }
    FtpConnection &operator*() const { return *connection_; }
    FtpConnection *operator->() const { return connection_.get(); }

private:
    std::shared_ptr<FtpConnection> connection_;
    bool busy_ = false;
};

class ConnectionRegistry {
public:
    // The module's registry starts at 1; tests may start elsewhere to reach the
    // wrap of the counter.
    explicit ConnectionRegistry(int32_t firstHandle = 1) : nextConnectionHandle_(firstHandle) {}
    // At unload the entries are let go without closing or destroying the
    // connections: the host closes what it opened.
    ~ConnectionRegistry();
    ConnectionRegistry(const ConnectionRegistry &) = delete;
    ConnectionRegistry &operator=(const ConnectionRegistry &) = delete;

    // Null for a handle that is not registered.
    std::shared_ptr<FtpConnection> Find(int32_t handle) const;
    // The connection, for a call on it (empty for a handle not registered).
    ConnectionCall Enter(int32_t handle) const { return ConnectionCall(Find(handle)); }
    // Registers the connection under the next handle number that is neither 0
    // nor in use; a live connection is never replaced.
    int32_t Add(std::shared_ptr<FtpConnection> connection);
    // Unregisters the handle and hands the connection back (null when absent).
    std::shared_ptr<FtpConnection> Remove(int32_t handle);

private:
    mutable Mutex mutex_;
    std::map<int32_t, std::shared_ptr<FtpConnection>> entries_;
    int32_t nextConnectionHandle_;
};

// The module's registry.
ConnectionRegistry &Connections();

}  // namespace sapi
