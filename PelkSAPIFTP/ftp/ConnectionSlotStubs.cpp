// Placeholders for the connection slots not built yet.
#include "ftp/ConnectionSlots.h"

extern "C" {
ServerApiResult OpenServer(int32_t, int32_t *) { return ApiFailed; }
void CloseServer(int32_t) {}
ServerApiResult GetFolderName(int32_t, int32_t, ServerApiChar *, uint32_t *) { return ApiFailed; }
ServerApiResult GetFolderTitle(int32_t, int32_t, ServerApiChar *, uint32_t *) { return ApiFailed; }
ServerApiResult GetAssetName(int32_t, int32_t, ServerApiChar *, uint32_t *) { return ApiFailed; }
ServerApiResult GetAssetTitle(int32_t, int32_t, ServerApiChar *, uint32_t *) { return ApiFailed; }
ServerApiResult ChangeFolder(int32_t, const ServerApiChar *) { return ApiFailed; }
ServerApiResult GetCurrentFolder(int32_t, ServerApiChar *, ServerApiChar *, uint32_t *) { return ApiFailed; }
void AbortServer(int32_t) {}
ServerApiResult DeleteAsset(int32_t, const ServerApiChar *) { return ApiFailed; }
}
