// The module's open connections, each under the handle that OpenServer gave it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "ftp/FtpConnection.h"

namespace sapi {

class ConnectionRegistry {
public:
    ConnectionRegistry() = default;
    // At unload the entries are let go without closing or destroying the
    // connections: the host closes what it opened.
    ~ConnectionRegistry();
    ConnectionRegistry(const ConnectionRegistry &) = delete;
    ConnectionRegistry &operator=(const ConnectionRegistry &) = delete;

    // Null for a handle that is not registered.
    FtpConnection *Find(int32_t handle) const;
    // Takes nextConnectionHandle as the new handle and registers the connection.
    int32_t Add(std::unique_ptr<FtpConnection> connection);
    // Unregisters the handle and hands the connection back (null when absent).
    std::unique_ptr<FtpConnection> Remove(int32_t handle);

private:
    std::map<int32_t, std::unique_ptr<FtpConnection>> entries_;
    int32_t nextConnectionHandle_ = 1;
};

// The module's registry.
ConnectionRegistry &Connections();

}  // namespace sapi
