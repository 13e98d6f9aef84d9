// The module's one export. Everything else in the module is hidden: the version
// script (exports.map) on ELF systems, the .def file on Windows.
#include "ServerApi.h"
#include "entry/ModuleEntry.h"

#if defined(_WIN32)
#define SAPI_EXPORTED  // PelkSAPIFTP.def exports it, undecorated, as ordinal 1
#else
#define SAPI_EXPORTED __attribute__((visibility("default")))
#endif

extern "C" SAPI_EXPORTED ServerApiResult SERVER_API_CALL InitServerAPI(int32_t version,
                                                                       const ServerApiFunctions **table) {
    return sapi::InitializeModule(version, table);
}
