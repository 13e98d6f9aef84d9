// Slots 20 to 24: argument tests, the connection lookup, and the call into the
// connection, which it holds for the whole call so that a host closing the
// connection from a callback cannot pull the object from under it.
#include "base/Boundary.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"
#include "ftp/RemoteName.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"

using namespace sapi;

namespace {

bool IsNullOrEmpty(const ServerApiChar *text) { return text == nullptr || text[0] == 0; }

// Looks the connection up and runs `operation` on it, holding it meanwhile
// (and turning away the connection's callers on other threads).
template <typename Operation>
ResultCode OnConnection(int32_t handle, Operation &&operation) {
    const ConnectionCall connection = Connections().Enter(handle);
    if (!connection) {
        return connection.Refusal();
    }
    return operation(*connection);
}

// Runs `upload` with the "Title" of the set: the name the upload is stored
// under. A set or key that isn't there ends the call with that code.
template <typename Upload>
ResultCode WithTitle(int32_t parameterSet, Upload &&upload) {
    WideString title;
    const ResultCode found = ReadParameterText(parameterSet, TitleKey, title);
    return found != ApiOk ? found : upload(title);
}

}  // namespace

extern "C" {

ServerApiResult SERVER_API_CALL GetAssetInfo(int32_t connection, const ServerApiChar *name, int32_t parameterSet) {
    return Guarded([&]() -> ResultCode {
        if (name == nullptr) {
            return ApiInvalidArgument;
        }
        return OnConnection(connection, [&](FtpConnection &ftp) -> ResultCode {
            return ftp.GetAssetInfo(WideString(name), parameterSet);
        });
    });
}

ServerApiResult SERVER_API_CALL ReadAsset(int32_t connection, const ServerApiChar *name, ReadAssetCallback callback,
                                          void *context) {
    return Guarded([&]() -> ResultCode {
        if (IsNullOrEmpty(name)) {
            return ApiInvalidArgument;
        }
        return OnConnection(connection, [&](FtpConnection &ftp) -> ResultCode {
            return ftp.ReadAsset(WideString(name), callback, context);
        });
    });
}

ServerApiResult SERVER_API_CALL DownloadAsset(int32_t connection, const ServerApiChar *remoteName,
                                              const ServerApiChar *localPath, TransferProgressCallback progress,
                                              void *context) {
    return Guarded([&]() -> ResultCode {
        if (IsNullOrEmpty(remoteName) || IsNullOrEmpty(localPath)) {
            return ApiInvalidArgument;
        }
        return OnConnection(connection, [&](FtpConnection &ftp) -> ResultCode {
            return ftp.DownloadAsset(WideString(remoteName), WideString(localPath), progress, context);
        });
    });
}

ServerApiResult SERVER_API_CALL WriteAsset(int32_t connection, int32_t parameterSet, int64_t streamSize,
                                           WriteAssetCallback callback, void *context) {
    return Guarded([&]() -> ResultCode {
        if (streamSize == 0 || parameterSet == 0 || callback == nullptr) {
            return ApiInvalidArgument;
        }
        return OnConnection(connection, [&](FtpConnection &ftp) -> ResultCode {
            return WithTitle(parameterSet, [&](const WideString &title) {
                return ftp.WriteAsset(title, callback, context);
            });
        });
    });
}

ServerApiResult SERVER_API_CALL UploadAsset(int32_t connection, int32_t parameterSet, const ServerApiChar *localPath,
                                            TransferProgressCallback progress, void *context) {
    return Guarded([&]() -> ResultCode {
        if (parameterSet == 0 || localPath == nullptr) {
            return ApiInvalidArgument;
        }
        return OnConnection(connection, [&](FtpConnection &ftp) -> ResultCode {
            return WithTitle(parameterSet, [&](const WideString &title) {
                return ftp.UploadAsset(UploadRemoteName(title), WideString(localPath), progress, context);
            });
        });
    });
}

}  // extern "C"
