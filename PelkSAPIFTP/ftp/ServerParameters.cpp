#include "ftp/ServerParameters.h"

#include "parameters/ParameterAccess.h"
#include "platform/RuntimeText.h"

namespace sapi {

namespace {

ResultCode ReadRequired(int32_t parameterSet, const char *key, WideString &value) {
    const ResultCode result = ReadParameterText(parameterSet, key, value);
    return result == ApiParameterNotFound ? ApiMissingServerParameter : result;
}

// "1", "2", "-1" and " 7" switch a flag on; "0", "no", "" and an absent key leave it off.
bool ReadFlag(int32_t parameterSet, const char *key) {
    WideString text;
    return ReadParameterText(parameterSet, key, text) == ApiOk && Wtoi(text.c_str()) != 0;
}

}  // namespace

ResultCode ReadServerParameters(int32_t parameterSet, ServerParameters &parameters) {
    ResultCode result = ReadRequired(parameterSet, "ServerPrimaryAddress", parameters.serverName);
    if (result != ApiOk) return result;
    WideString port;
    result = ReadRequired(parameterSet, "ServerPrimaryPort", port);
    if (result != ApiOk) return result;
    parameters.port = Wtoi(port.c_str());
    parameters.usePassive = ReadFlag(parameterSet, "ServerUsePassive");
    parameters.verifyByRead = ReadFlag(parameterSet, "ServerVerifyByRead");
    result = ReadRequired(parameterSet, "ServerPrimaryLoginName", parameters.userName);
    if (result != ApiOk) return result;
    return ReadRequired(parameterSet, "ServerPrimaryLoginPassword", parameters.password);
}

}  // namespace sapi
