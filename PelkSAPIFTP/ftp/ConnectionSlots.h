// Slots 12 to 26: the connection operations, as the table calls them.
#pragma once

#include <cstdint>

#include "ServerApi.h"

extern "C" {
ServerApiResult SERVER_API_CALL OpenServer(int32_t parameterSet, int32_t *connection);
void SERVER_API_CALL CloseServer(int32_t connection);
ServerApiResult SERVER_API_CALL GetFolderName(int32_t connection, int32_t index, ServerApiChar *text, uint32_t *length);
ServerApiResult SERVER_API_CALL GetFolderTitle(int32_t connection, int32_t index, ServerApiChar *text, uint32_t *length);
ServerApiResult SERVER_API_CALL GetAssetName(int32_t connection, int32_t index, ServerApiChar *text, uint32_t *length);
ServerApiResult SERVER_API_CALL GetAssetTitle(int32_t connection, int32_t index, ServerApiChar *text, uint32_t *length);
ServerApiResult SERVER_API_CALL ChangeFolder(int32_t connection, const ServerApiChar *name);
ServerApiResult SERVER_API_CALL GetCurrentFolder(int32_t connection, ServerApiChar *first, ServerApiChar *second,
                                                 uint32_t *length);
ServerApiResult SERVER_API_CALL GetAssetInfo(int32_t connection, const ServerApiChar *name, int32_t parameterSet);
ServerApiResult SERVER_API_CALL ReadAsset(int32_t connection, const ServerApiChar *name, ReadAssetCallback callback,
                                          void *context);
ServerApiResult SERVER_API_CALL DownloadAsset(int32_t connection, const ServerApiChar *remoteName,
                                              const ServerApiChar *localPath, TransferProgressCallback progress,
                                              void *context);
ServerApiResult SERVER_API_CALL WriteAsset(int32_t connection, int32_t parameterSet, int64_t streamSize,
                                           WriteAssetCallback callback, void *context);
ServerApiResult SERVER_API_CALL UploadAsset(int32_t connection, int32_t parameterSet, const ServerApiChar *localPath,
                                            TransferProgressCallback progress, void *context);
void SERVER_API_CALL AbortServer(int32_t connection);
ServerApiResult SERVER_API_CALL DeleteAsset(int32_t connection, const ServerApiChar *name);
}
