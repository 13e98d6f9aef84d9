// Placeholders for the connection slots not built yet (transfers).
#include "ftp/ConnectionSlots.h"

extern "C" {
ServerApiResult GetAssetInfo(int32_t, const ServerApiChar *, int32_t) { return ApiFailed; }
ServerApiResult ReadAsset(int32_t, const ServerApiChar *, ReadAssetCallback, void *) { return ApiFailed; }
ServerApiResult DownloadAsset(int32_t, const ServerApiChar *, const ServerApiChar *, TransferProgressCallback, void *) {
    return ApiFailed;
}
ServerApiResult WriteAsset(int32_t, int32_t, int64_t, WriteAssetCallback, void *) { return ApiFailed; }
ServerApiResult UploadAsset(int32_t, int32_t, const ServerApiChar *, TransferProgressCallback, void *) {
    return ApiFailed;
}
}
