// The slots that read a connection's cached listing and current folder. None of
// them reaches the server.
#include "base/Boundary.h"
#include "base/TextCopyOut.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"

namespace sapi {
namespace {

enum class List { Folders, Assets };

// A name and its title are the same text.
ResultCode ListingText(int32_t handle, int32_t index, WideChar *text, uint32_t *length, List list) {
    if (length == nullptr) return ApiInvalidArgument;
    const ConnectionCall connection = Connections().Enter(handle);
    if (!connection) return connection.Refusal();
    return list == List::Folders ? connection->FolderAt(index, text, length) : connection->AssetAt(index, text, length);
}

// The folder goes to both buffers with the capacity the host gave; only the copy
// into the first one decides the result, so a null first buffer asks for the
// length alone.
ResultCode CurrentFolderText(int32_t handle, WideChar *first, WideChar *second,
                             uint32_t *length) {
    const ConnectionCall connection = Connections().Enter(handle);
    if (!connection) return connection.Refusal();
    if (length == nullptr) return ApiInvalidArgument;
    const WideString folder = connection->CurrentFolder();
    const uint32_t capacity = *length;
    static_cast<void>(TextCopyOut(folder, second, length));
    *length = capacity;
    return TextCopyOut(folder, first, length);
}

template <List list>
ServerApiResult ListingSlot(int32_t connection, int32_t index, ServerApiChar *text,
                            uint32_t *length) {
    return Guarded([&] { return ListingText(connection, index, text, length, list); });
}

}  // namespace
}  // namespace sapi

extern "C" {

ServerApiResult SERVER_API_CALL GetFolderName(int32_t connection, int32_t index,
                                              ServerApiChar *text, uint32_t *length) {
    return sapi::ListingSlot<sapi::List::Folders>(connection, index, text, length);
}

ServerApiResult SERVER_API_CALL GetFolderTitle(int32_t connection, int32_t index,
                                               ServerApiChar *text, uint32_t *length) {
    return sapi::ListingSlot<sapi::List::Folders>(connection, index, text, length);
}

ServerApiResult SERVER_API_CALL GetAssetName(int32_t connection, int32_t index,
                                             ServerApiChar *text, uint32_t *length) {
    return sapi::ListingSlot<sapi::List::Assets>(connection, index, text, length);
}

ServerApiResult SERVER_API_CALL GetAssetTitle(int32_t connection, int32_t index,
                                              ServerApiChar *text, uint32_t *length) {
    return sapi::ListingSlot<sapi::List::Assets>(connection, index, text, length);
}

ServerApiResult SERVER_API_CALL GetCurrentFolder(int32_t connection, ServerApiChar *first,
                                                 ServerApiChar *second, uint32_t *length) {
    return sapi::Guarded([&] { return sapi::CurrentFolderText(connection, first, second, length); });
}

}  // extern "C"
