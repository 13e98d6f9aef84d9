// The handles the WinInet client hands its callers: values of our own, each
// standing for one of WinInet's handles and never handed out twice. WinInet
// gives a closed handle's value to the next handle it opens, on any thread; a
// caller that still held the old value (a call stopped from another thread, a
// retrieval whose end closed WinInet's handle) would then act on another
// connection's file or session. Ours only ever name what they were made for:
// once WinInet's handle is gone, the value is refused.
#pragma once

#include <cstdint>
#include <map>

#include "ftp/services/FtpClientServices.h"
#include "platform/Mutex.h"

namespace sapi {

// What a handle stands for, where the client services treat it apart.
enum class WinInetHandleKind {
    Other,  // root, connect and find handles
    Store,
    Retrieval,
    // The end was read and WinInet's handle already closed for the server's
    // verdict; the caller's handle stays valid until the caller closes it.
    ConfirmedRetrieval,
    FailedRetrieval,
};

struct WinInetHandleEntry {
    void *wininet = nullptr;  // null once WinInet's handle is closed
    uintptr_t parent = 0;     // the handle it was made from; 0 for a root handle
    WinInetHandleKind kind = WinInetHandleKind::Other;
};

class WinInetHandleTable {
public:
    // Ours for WinInet's `wininet`, made from `parent`. Null when memory ran
    // out; the caller then closes WinInet's handle.
    InternetHandle Add(void *wininet, InternetHandle parent, WinInetHandleKind kind);
    // The entry of a handle the caller still holds; false for one never
    // handed out or already closed by the caller.
    bool Find(InternetHandle handle, WinInetHandleEntry &entry) const;
    // WinInet's handle of a retrieval, taken out to be closed at its end; the
    // verdict is set by EndRetrieval. Null when it is gone already.
    void *TakeForEnd(InternetHandle handle);
    void EndRetrieval(InternetHandle handle, bool confirmed);
    // Takes the handle out and returns WinInet's handle to close (null when
    // it is gone already). WinInet closes a handle's children with it, so
    // theirs are marked gone; their own values stay until closed, refused.
    void *Remove(InternetHandle handle, WinInetHandleEntry &entry);

private:
    void MarkChildrenGone(uintptr_t parent);

    mutable Mutex mutex_;
    std::map<uintptr_t, WinInetHandleEntry> entries_;
    uintptr_t nextHandle_ = 0x1000;
};

}  // namespace sapi
