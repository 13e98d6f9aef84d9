// CloseServer, AbortServer, ChangeFolder and DeleteAsset: the slots that end,
// cut off, move or act on an open connection.
#include <memory>

#include "base/Boundary.h"
#include "ftp/ActiveCall.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"

namespace sapi {
namespace {

void CloseConnection(int32_t handle) {
    std::unique_ptr<FtpConnection> connection = Connections().Remove(handle);
    if (!connection) return;
    if (connection->activeCalls > 0) {
        // Closed by the host from inside a callback of an operation still under
        // way on it: the handle is gone at once, but the object must outlive that
        // operation, whose ActiveCall destroys it on the way out.
        connection->CloseHandles();
        FtpConnection &retiring = *connection;
        retiring.retiredSelf = std::move(connection);
    }
}

ResultCode ChangeFolderOf(int32_t handle, const WideChar *name) {
    FtpConnection *connection = Connections().Find(handle);
    if (connection == nullptr) return ApiNoSuchConnection;
    const ActiveCall active(*connection);
    return connection->ChangeCurrentFolder(WideString(name));
}

}  // namespace
}  // namespace sapi

extern "C" {

void SERVER_API_CALL CloseServer(int32_t connection) {
    sapi::GuardedVoid([&] { sapi::CloseConnection(connection); });
}

// The connection stays registered with its listing and folder; only its handles
// go. There is no way back: the host closes it and opens a new one.
void SERVER_API_CALL AbortServer(int32_t connection) {
    sapi::GuardedVoid([&] {
        if (sapi::FtpConnection *found = sapi::Connections().Find(connection)) {
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
        sapi::FtpConnection *found = sapi::Connections().Find(connection);
        if (found == nullptr) return sapi::ResultCode{ApiFailed};
        return found->DeleteRemoteFile(sapi::WideString(name));
    });
}

}  // extern "C"
