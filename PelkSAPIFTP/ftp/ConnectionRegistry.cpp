#include "ftp/ConnectionRegistry.h"

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
    const int32_t handle = nextConnectionHandle_;
    entries_.insert_or_assign(handle, std::move(connection));
    // Counted only once the entry is in: an open that fails here uses up no
    // number. Past the largest value the counter wraps, as a 32-bit one does,
    // instead of overflowing.
    nextConnectionHandle_ = static_cast<int32_t>(static_cast<uint32_t>(handle) + 1u);
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
