#include "entry/ModuleEntry.h"

#include "base/Boundary.h"
#include "base/HostContext.h"
#include "entry/ServerApiTable.h"

namespace sapi {

ResultCode InitializeModule(int32_t version, const ServerApiFunctions **table) noexcept {
    if (version != SERVER_API_VERSION) return ApiVersionMismatch;
    if (table == nullptr) return ApiInvalidArgument;
    const ResultCode renewed = Guarded([] {
        RenewHostContextBuffer();
        return ResultCode{ApiOk};
    });
    if (renewed != ApiOk) return renewed;
    *table = &ServerApiTable();
    return ApiOk;
}

}  // namespace sapi

extern "C" void SERVER_API_CALL ReleaseServerAPI(void) {
    sapi::GuardedVoid([] { sapi::ReleaseHostContextBuffer(); });
}
