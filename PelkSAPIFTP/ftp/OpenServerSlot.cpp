// OpenServer: a new connection from the settings in a parameter set.
#include <memory>

#include "base/Boundary.h"
#include "base/HostContext.h"
#include "ftp/ActiveFtpClientServices.h"
#include "ftp/ConnectionRegistry.h"
#include "ftp/ConnectionSlots.h"
#include "ftp/ServerParameters.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"

namespace sapi {
namespace {

ResultCode OpenServerFrom(int32_t parameterSet, int32_t &connectionHandle) {
    ServerParameters parameters;
    const ResultCode read = ReadServerParameters(parameterSet, parameters);
    if (read != ApiOk) return read;
    if (!parameters.invalidFollowGrowing.empty()) {
        WriteOrRemoveParameter(parameterSet, ServerFailureKey,
                               SAPI_WIDE("ServerFollowGrowing is \"") + parameters.invalidFollowGrowing +
                                   SAPI_WIDE("\": it takes 0 (off) or 1 to 3600 seconds of quiet"));
        WriteOrRemoveParameter(parameterSet, ServerTLSFailureKey, WideString());
        return ApiConnectFailed;
    }

    // Until the registry holds it, this owner destroys the connection on every
    // way out, an exhausted heap included.
    auto connection = std::make_shared<FtpConnection>(
        HostContextBuffer(), parameters.verifyByRead, ActiveFtpClientServices());
    connection->SetEndOnConfirmation(parameters.endOnConfirmation);
    connection->SetStopOnRefusal(parameters.stopOnRefusal);
    connection->SetReconnect(parameters.reconnect);
    connection->SetVerification(parameters.verifyHash, parameterSet);
    connection->SetFollowGrowing(parameters.followGrowing);
    const ResultCode connected =
        connection->Connect(parameters.serverName, parameters.port, parameters.userName,
                            parameters.password, parameters.usePassive, parameters.tls);
    // The host's one way to learn why the open failed, and for a secure
    // connection which certificate to pin if the user trusts it. A reason left
    // from an earlier attempt must not stand for this one.
    WriteOrRemoveParameter(parameterSet, ServerFailureKey, connected == ApiOk ? WideString() : connection->Failure());
    WriteOrRemoveParameter(parameterSet, ServerTLSFailureKey, connected == ApiOk ? WideString() : connection->TlsFailure());
    if (connected != ApiOk) return connected;
    connectionHandle = Connections().Add(std::move(connection));
    return ApiOk;
}

}  // namespace
}  // namespace sapi

extern "C" ServerApiResult SERVER_API_CALL OpenServer(int32_t parameterSet, int32_t *connection) {
    if (connection == nullptr) return ApiInvalidArgument;
    return sapi::Guarded([&] { return sapi::OpenServerFrom(parameterSet, *connection); });
}
