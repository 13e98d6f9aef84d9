// CloseServer, AbortServer, ChangeFolder and DeleteAsset: the slots that end,
// cut off, move or act on an open connection.
#include <memory>

#include "base/Boundary.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"

namespace sapi {
namespace {

// The handles go at once, also when an operation is still under way on the
// connection, from inside one of its callbacks or on another thread: that
// operation is stopped and fails as on an aborted connection, on its own
// thread, and the object goes when it lets go of it. The close never waits
// for it: it may be running host code that waits for the thread closing.
void CloseConnection(int32_t handle) {
    const std::shared_ptr<FtpConnection> connection = Connections().Remove(handle);
    if (connection != nullptr) connection->CloseHandles();
}

ResultCode ChangeFolderOf(int32_t handle, const WideChar *name) {
    const ConnectionCall connection = Connections().Enter(handle);
    if (!connection) return connection.Refusal();
    return connection->ChangeCurrentFolder(WideString(name));
}

}  // namespace
}  // namespace sapi

extern "C" {

void SERVER_API_CALL CloseServer(int32_t connection) {
    sapi::GuardedVoid([&] { sapi::CloseConnection(connection); });
}

// The connection stays registered with its listing and folder; only its handles
// go. There is no way back: the host closes it and opens a new one. From
// another thread it stops the call under way on the connection, without
// waiting for it.
void SERVER_API_CALL AbortServer(int32_t connection) {
    sapi::GuardedVoid([&] {
        if (const std::shared_ptr<sapi::FtpConnection> found = sapi::Connections().Find(connection)) {
            found->CloseHandles();
        }
    });
}

ServerApiResult SERVER_API_CALL ChangeFolder(int32_t connection, const ServerApiChar *name) {
    if (name == nullptr) return ApiInvalidArgument;
    return sapi::Guarded([&] { return sapi::ChangeFolderOf(connection, name); });
}

// An unregistered handle answers ApiFailed here, where the other slots say
// ApiNoSuchConnection; hosts written against this plug-in expect that.
ServerApiResult SERVER_API_CALL DeleteAsset(int32_t connection, const ServerApiChar *name) {
    if (name == nullptr) return ApiInvalidArgument;
    return sapi::Guarded([&] {
        const sapi::ConnectionCall found = sapi::Connections().Enter(connection);
        if (!found) return sapi::ResultCode{found.Busy() ? ApiConnectionBusy : ApiFailed};
        return found->DeleteRemoteFile(sapi::WideString(name));
    });
}

}  // extern "C"
