#include "ftp/ConnectionRegistry.h"

#include "base/HandleNumbers.h"

namespace sapi {

// The host closes every connection it opened; what is left at unload is let go
// as it is: closing a connection then could call into a client library that is
// itself being torn down.
ConnectionRegistry::~ConnectionRegistry() {
    for (auto &entry : entries_) {
        static_cast<void>(entry.second.release());
    }
}

FtpConnection *ConnectionRegistry::Find(int32_t handle) const {
    const auto found = entries_.find(handle);
    return found == entries_.end() ? nullptr : found->second.get();
}

int32_t ConnectionRegistry::Add(std::unique_ptr<FtpConnection> connection) {
    const int32_t handle =
        FreeHandleFrom(nextConnectionHandle_, [this](int32_t number) { return entries_.contains(number); });
    entries_.emplace(handle, std::move(connection));
    // Counted only once the entry is in: an open that fails here uses up no
    // number.
    nextConnectionHandle_ = HandleAfter(handle);
    return handle;
}

std::unique_ptr<FtpConnection> ConnectionRegistry::Remove(int32_t handle) {
    const auto found = entries_.find(handle);
    if (found == entries_.end()) return nullptr;
    std::unique_ptr<FtpConnection> connection = std::move(found->second);
    entries_.erase(found);
    return connection;
}

}  // namespace sapi
