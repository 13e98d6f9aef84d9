#include "ftp/ConnectionRegistry.h"

#include <mutex>

#include "base/HandleNumbers.h"

namespace sapi {

namespace {

using LeftConnections = std::multimap<int32_t, std::shared_ptr<FtpConnection>>;

// Where the connections left at unload go: storage whose contents are never
// destroyed, since a union does not end its member.
LeftConnections &LeftAtUnload() {
    union Storage {
        Storage() : left() {}
        ~Storage() {}
        LeftConnections left;
    };
    static Storage storage;
    return storage.left;
}

}  // namespace

// The host closes every connection it opened; what is left at unload is let go
// as it is: closing a connection then could call into a client library that is
// itself being torn down. The entries move node by node, allocating nothing.
ConnectionRegistry::~ConnectionRegistry() { LeftAtUnload().merge(entries_); }

ConnectionCall::ConnectionCall(std::shared_ptr<FtpConnection> connection) {
    if (connection == nullptr) return;
    if (connection->EnterCall()) {
        connection_ = std::move(connection);
    } else {
        busy_ = true;
    }
}

ConnectionCall::~ConnectionCall() {
    if (connection_) connection_->LeaveCall();
}

std::shared_ptr<FtpConnection> ConnectionRegistry::Find(int32_t handle) const {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    return found == entries_.end() ? nullptr : found->second;
}

int32_t ConnectionRegistry::Add(std::shared_ptr<FtpConnection> connection) {
    std::lock_guard lock(mutex_);
    const int32_t handle =
        FreeHandleFrom(nextConnectionHandle_, [this](int32_t number) { return entries_.contains(number); });
    entries_.emplace(handle, std::move(connection));
    // Counted only once the entry is in: an open that fails here uses up no
    // number.
    nextConnectionHandle_ = HandleAfter(handle);
    return handle;
}

std::shared_ptr<FtpConnection> ConnectionRegistry::Remove(int32_t handle) {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(handle);
    if (found == entries_.end()) return nullptr;
    std::shared_ptr<FtpConnection> connection = std::move(found->second);
    entries_.erase(found);
    return connection;
}

}  // namespace sapi
