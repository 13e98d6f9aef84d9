#include "ftp/ConnectionRegistry.h"

namespace sapi {

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
    ++nextConnectionHandle_;
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
