#include "entry/ServerApiTable.h"

#include "entry/EntrySlots.h"
#include "entry/ModuleEntry.h"
#include "ftp/ConnectionSlots.h"
#include "parameters/ParameterSlots.h"

namespace sapi {

namespace {

// Constant-initialised: the table exists before any code of the module runs.
// Each slot is named where it is set: slots 14 to 17 share one type, so a
// table filled by position would take a swap without a word.
constexpr ServerApiFunctions table = {
    .ReleaseServerAPI = ReleaseServerAPI,
    .GetServerTypeName = GetServerTypeName,
    .GetServerTypeId = GetServerTypeId,
    .GetServerGroupName = GetServerGroupName,
    .DescribeServerParameters = DescribeServerParameters,
    .DescribeAssetParameters = DescribeAssetParameters,
    .CreateParameterSet = CreateParameterSet,
    .DestroyParameterSet = DestroyParameterSet,
    .SetParameter = SetParameter,
    .RemoveParameter = RemoveParameter,
    .GetParameter = GetParameter,
    .EnumerateParameters = EnumerateParameters,
    .OpenServer = OpenServer,
    .CloseServer = CloseServer,
    .GetFolderName = GetFolderName,
    .GetFolderTitle = GetFolderTitle,
    .GetAssetName = GetAssetName,
    .GetAssetTitle = GetAssetTitle,
    .ChangeFolder = ChangeFolder,
    .GetCurrentFolder = GetCurrentFolder,
    .GetAssetInfo = GetAssetInfo,
    .ReadAsset = ReadAsset,
    .DownloadAsset = DownloadAsset,
    .WriteAsset = WriteAsset,
    .UploadAsset = UploadAsset,
    .AbortServer = AbortServer,
    .DeleteAsset = DeleteAsset,
};

static_assert(sizeof(ServerApiFunctions) == SERVER_API_SLOT_COUNT * sizeof(void (*)()),
              "the table is 27 addresses and nothing else");

}  // namespace

const ServerApiFunctions &ServerApiTable() noexcept { return table; }

}  // namespace sapi
