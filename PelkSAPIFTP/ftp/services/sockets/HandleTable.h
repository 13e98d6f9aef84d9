// The handles the client hands out, kept in a table of live objects. Every
// handle that comes back in is looked up here first, so a stale, closed,
// foreign or null handle is refused instead of followed. Handle values are
// never reused. Closing a handle closes its children first (a connect handle
// its find and file handles, a root handle its connect handles).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/sockets/FtpSession.h"
#include "ftp/services/sockets/RemoteNames.h"
#include "platform/Mutex.h"
#include "ftp/services/sockets/TlsSettings.h"

namespace sapi::ftpclient {

enum class HandleKind { Root, Connect, Find, File };

struct HandleObject {
    HandleKind kind = HandleKind::Root;
    uintptr_t parent = 0;  // the handle it was made from; 0 for a root handle
    InternetStatusCallback callback = nullptr;
    // Root handles: the FTPS settings its connections take, and whether they
    // open themselves again when the server drops them.
    TlsSettings tls;
    bool reconnect = false;
    // Connect handles: the session. Find and file handles share it, so that a
    // child that is still in a caller's hands never outlives what it needs.
    std::shared_ptr<FtpSession> session;
    std::shared_ptr<RemoteNames> names;  // shared the same way
    // Connect handles: the folder the server was last seen to be in, as the
    // host named it (the argument of the last CWD, or the answer to PWD).
    WideString serverFolder;
    // Find handles: the listing as read, turned into records one at a time
    // (a record is some 500 bytes; a listing line is often 50).
    CompactListing listing;
    WideString filter;
    std::size_t nextEntry = 0;
    WideString scratch;  // one name's text, reused from record to record
};

class HandleTable {
public:
    InternetHandle Add(std::shared_ptr<HandleObject> object);
    // The live object of that kind, or null.
    std::shared_ptr<HandleObject> Find(InternetHandle handle, HandleKind kind) const;
    std::shared_ptr<HandleObject> FindAny(InternetHandle handle) const;
    // Whether a find or file handle made from `connect` is still open.
    bool HasChild(uintptr_t connect, HandleKind kind) const;
    // Takes the handle and all its descendants out of the table, children
    // first; the caller ends them. Empty when the handle is not live.
    std::vector<std::shared_ptr<HandleObject>> Remove(InternetHandle handle);

private:
    void CollectChildren(uintptr_t parent, std::vector<std::shared_ptr<HandleObject>> &removed);

    mutable Mutex mutex_;
    std::unordered_map<uintptr_t, std::shared_ptr<HandleObject>> objects_;
    uintptr_t nextHandle_ = 0x1000;
};

}  // namespace sapi::ftpclient
