#include "ftp/services/wininet/WinInetHandleTable.h"

#include <mutex>
#include <new>

namespace sapi {

InternetHandle WinInetHandleTable::Add(void *wininet, InternetHandle parent, WinInetHandleKind kind) {
    try {
        std::lock_guard<Mutex> lock(mutex_);
        // Four apart, as pointers are: a caller may keep flags in the low bits.
        const uintptr_t handle = nextHandle_ += 4;
        entries_.emplace(handle, WinInetHandleEntry{wininet, reinterpret_cast<uintptr_t>(parent), kind});
        return reinterpret_cast<InternetHandle>(handle);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

bool WinInetHandleTable::Find(InternetHandle handle, WinInetHandleEntry &entry) const {
    std::lock_guard<Mutex> lock(mutex_);
    const auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == entries_.end()) return false;
    entry = found->second;
    return true;
}

void *WinInetHandleTable::TakeForEnd(InternetHandle handle) {
    std::lock_guard<Mutex> lock(mutex_);
    const auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == entries_.end()) return nullptr;
    void *const wininet = found->second.wininet;
    found->second.wininet = nullptr;
    return wininet;
}

void WinInetHandleTable::EndRetrieval(InternetHandle handle, bool confirmed) {
    std::lock_guard<Mutex> lock(mutex_);
    const auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found != entries_.end()) {
        found->second.kind = confirmed ? WinInetHandleKind::ConfirmedRetrieval : WinInetHandleKind::FailedRetrieval;
    }
}

void *WinInetHandleTable::Remove(InternetHandle handle, WinInetHandleEntry &entry) {
    std::lock_guard<Mutex> lock(mutex_);
    const auto found = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == entries_.end()) return nullptr;
    entry = found->second;
    entries_.erase(found);
    if (entry.wininet != nullptr) MarkChildrenGone(reinterpret_cast<uintptr_t>(handle));
    return entry.wininet;
}

// A handle's children are few (a connection's file and find handles, a root's
// connections), and the table holds only what the callers hold.
void WinInetHandleTable::MarkChildrenGone(uintptr_t parent) {
    for (auto &[handle, entry] : entries_) {
        if (entry.parent != parent || entry.wininet == nullptr) continue;
        entry.wininet = nullptr;
        MarkChildrenGone(handle);
    }
}

}  // namespace sapi
