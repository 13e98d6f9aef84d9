// The handles the client hands out, kept in a table of live objects. Every
// handle that comes back in is looked up here first, so a stale, closed,
// foreign or null handle is refused instead of followed. Handle values are
// never reused. Closing a handle closes its children first (a connect handle
// its find and file handles, a root handle its connect handles).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/sockets/FtpSession.h"
#include "ftp/services/sockets/RemoteNames.h"
#include "platform/Mutex.h"
#include "ftp/services/sockets/TlsSettings.h"

namespace sapi::ftpclient {

enum class HandleKind { Root, Connect, Find, File };

// What every handle has. Each kind's fields are in a type of its own, below.
struct HandleObject {
    explicit HandleObject(HandleKind ofKind, uintptr_t madeFrom = 0) : kind(ofKind), parent(madeFrom) {}

    const HandleKind kind;
    const uintptr_t parent;  // the handle it was made from; 0 for a root handle
    InternetStatusCallback callback = nullptr;
};

// The FTPS settings its connections take.
struct RootObject : HandleObject {
    static constexpr HandleKind ownKind = HandleKind::Root;
    RootObject() : HandleObject(ownKind) {}

    TlsSettings tls;
    bool reconnect = false;  // its connections open themselves again when dropped
    VerifyMode verify = VerifyMode::Off;
    uint32_t followQuiet = 0;  // seconds of quiet that end a followed retrieval; 0: not followed
};

// A connection's session and its way with names: a connect handle's, shared by
// the find and file handles made from it, so that a child that is still in a
// caller's hands never outlives what it needs.
struct SessionObject : HandleObject {
    using HandleObject::HandleObject;

    std::shared_ptr<FtpSession> session;
    std::shared_ptr<RemoteNames> names;
};

struct ConnectObject : SessionObject {
    static constexpr HandleKind ownKind = HandleKind::Connect;
    explicit ConnectObject(uintptr_t root) : SessionObject(ownKind, root) {}

    // The folder the server was last seen to be in, as the host named it (the
    // argument of the last CWD, or the answer to PWD).
    WideString serverFolder;
};

// The listing as read, turned into records one at a time (a record is some 500
// bytes; a listing line is often 50).
struct FindObject : SessionObject {
    static constexpr HandleKind ownKind = HandleKind::Find;
    explicit FindObject(uintptr_t connect) : SessionObject(ownKind, connect) {}

    CompactListing listing;
    WideString filter;
    std::size_t nextEntry = 0;
    WideString scratch;  // one name's text, reused from record to record
};

// A retrieval or a store: the session's transfer under way.
struct FileObject : SessionObject {
    static constexpr HandleKind ownKind = HandleKind::File;
    explicit FileObject(uintptr_t connect) : SessionObject(ownKind, connect) {}
};

// The object as its kind's own type; null when it is of another kind. Taken
// by value and moved on, so that a lookup's own pointer is handed over, not
// counted up and down again: a listing looks up its handle for each entry.
template <typename Object>
std::shared_ptr<Object> As(std::shared_ptr<HandleObject> object) {
    return object && object->kind == Object::ownKind ? std::static_pointer_cast<Object>(std::move(object)) : nullptr;
}

class HandleTable {
public:
    InternetHandle Add(std::shared_ptr<HandleObject> object);
    // The live object of that kind, or null.
    template <typename Object>
    std::shared_ptr<Object> Find(InternetHandle handle) const {
        return As<Object>(FindAny(handle));
    }
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
