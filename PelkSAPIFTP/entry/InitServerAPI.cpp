// The module's one export. Everything else in the module is hidden: the version
// script (exports.map) on ELF systems, the .def file on Windows.
#include "ServerApi.h"
#include "entry/ModuleEntry.h"

#if defined(_WIN32)
#define SAPI_EXPORTED  // PelkSAPIFTP.def exports it, undecorated, as ordinal 1
#else
#define SAPI_EXPORTED __attribute__((visibility("default")))
#endif

// The build and the FTP client underneath, as a what(1) line: the table has no
// slot for either, and a person with a misbehaving host needs to know both.
// sapihost --version reads it from the module file.
__attribute__((used)) static const char moduleBuild[] =
    "@(#)PelkSAPIFTP " SAPI_VERSION " (FTP client: " SAPI_FTP_CLIENT ")";

extern "C" SAPI_EXPORTED ServerApiResult SERVER_API_CALL InitServerAPI(int32_t version,
                                                                       const ServerApiFunctions **table) {
    return sapi::InitializeModule(version, table);
}
