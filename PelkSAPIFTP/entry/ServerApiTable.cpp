#include "entry/ServerApiTable.h"

#include "entry/EntrySlots.h"
#include "entry/ModuleEntry.h"
#include "ftp/ConnectionSlots.h"
#include "parameters/ParameterSlots.h"

namespace sapi {

namespace {

// Constant-initialised: the table exists before any code of the module runs.
constexpr ServerApiFunctions table = {
    ReleaseServerAPI,          //  0
    GetServerTypeName,         //  1
    GetServerTypeId,           //  2
    GetServerGroupName,        //  3
    DescribeServerParameters,  //  4
    DescribeAssetParameters,   //  5
    CreateParameterSet,        //  6
    DestroyParameterSet,       //  7
    SetParameter,              //  8
    RemoveParameter,           //  9
    GetParameter,              // 10
    EnumerateParameters,       // 11
    OpenServer,                // 12
    CloseServer,               // 13
    GetFolderName,             // 14
    GetFolderTitle,            // 15
    GetAssetName,              // 16
    GetAssetTitle,             // 17
    ChangeFolder,              // 18
    GetCurrentFolder,          // 19
    GetAssetInfo,              // 20
    ReadAsset,                 // 21
    DownloadAsset,             // 22
    WriteAsset,                // 23
    UploadAsset,               // 24
    AbortServer,               // 25
    DeleteAsset,               // 26
};

static_assert(sizeof(ServerApiFunctions) == SERVER_API_SLOT_COUNT * sizeof(void (*)()),
              "the table is 27 addresses and nothing else");

}  // namespace

const ServerApiFunctions &ServerApiTable() noexcept { return table; }

}  // namespace sapi
