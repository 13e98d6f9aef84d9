// Slots 1 to 3: the fixed texts that name the kind of server the plug-in serves.
#include "base/Boundary.h"
#include "base/TextCopyOut.h"
#include "entry/EntrySlots.h"

namespace {

constexpr sapi::WideView serverTypeName = SAPI_WIDE("FTP");
constexpr sapi::WideView serverGroupName = SAPI_WIDE("FTP Servers");
// The plug-in's identifier, fixed for good: hosts file servers under it.
constexpr sapi::WideView serverTypeId = SAPI_WIDE("{7C3E5A91-2F4B-4D68-9B1E-5A0C8F3D2E74}");
static_assert(serverTypeId.size() == 38, "a braced GUID");

// The slot has no length argument; the host's buffer is taken to hold 40.
constexpr uint32_t serverTypeIdCapacity = 40;

}  // namespace

extern "C" {

ServerApiResult SERVER_API_CALL GetServerTypeName(ServerApiChar *text, uint32_t *length) {
    return sapi::Guarded([&] { return sapi::TextCopyOut(serverTypeName, text, length); });
}

ServerApiResult SERVER_API_CALL GetServerTypeId(ServerApiChar *text) {
    return sapi::Guarded([&] {
        uint32_t capacity = serverTypeIdCapacity;
        return sapi::TextCopyOut(serverTypeId, text, &capacity);
    });
}

ServerApiResult SERVER_API_CALL GetServerGroupName(ServerApiChar *text, uint32_t *length) {
    return sapi::Guarded([&] { return sapi::TextCopyOut(serverGroupName, text, length); });
}

}  // extern "C"
