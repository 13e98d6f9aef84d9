#include "ftp/services/sockets/HandleTable.h"

#include <mutex>

namespace sapi::ftpclient {

namespace {
uintptr_t KeyOf(InternetHandle handle) { return reinterpret_cast<uintptr_t>(handle); }
}  // namespace

InternetHandle HandleTable::Add(std::shared_ptr<HandleObject> object) {
    std::lock_guard lock(mutex_);
    // Steps of 4 keep the values looking like the pointers callers expect.
    nextHandle_ += 4;
    objects_.emplace(nextHandle_, std::move(object));
    return reinterpret_cast<InternetHandle>(nextHandle_);
}

std::shared_ptr<HandleObject> HandleTable::FindAny(InternetHandle handle) const {
    std::lock_guard lock(mutex_);
    const auto found = objects_.find(KeyOf(handle));
    return found == objects_.end() ? nullptr : found->second;
}

bool HandleTable::HasChild(uintptr_t connect, HandleKind kind) const {
    std::lock_guard lock(mutex_);
    for (const auto &[key, object] : objects_) {
        if (object->parent == connect && object->kind == kind) return true;
    }
    return false;
}

std::vector<std::shared_ptr<HandleObject>> HandleTable::Remove(InternetHandle handle) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<HandleObject>> removed;
    const auto found = objects_.find(KeyOf(handle));
    if (found == objects_.end()) return removed;
    CollectChildren(found->first, removed);
    removed.push_back(found->second);
    objects_.erase(found);
    return removed;
}

void HandleTable::CollectChildren(uintptr_t parent, std::vector<std::shared_ptr<HandleObject>> &removed) {
    std::vector<uintptr_t> children;
    for (const auto &[key, object] : objects_) {
        if (object->parent == parent) children.push_back(key);
    }
    for (uintptr_t child : children) {
        CollectChildren(child, removed);
        removed.push_back(objects_[child]);
        objects_.erase(child);
    }
}

}  // namespace sapi::ftpclient
