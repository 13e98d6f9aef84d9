#include "ftp/ServerParameters.h"

#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"
#include "platform/RuntimeText.h"

namespace sapi {

namespace {

constexpr int32_t lowestPort = 1;
constexpr int32_t highestPort = 65535;

ResultCode ReadRequired(int32_t parameterSet, const char *key, WideString &value) {
    const ResultCode result = ReadParameterText(parameterSet, key, value);
    return result == ApiParameterNotFound ? ApiMissingServerParameter : result;
}

// "1", "2", "-1" and " 7" switch a flag on; "0", "no", "" and an absent key leave it off.
bool ReadFlag(int32_t parameterSet, const char *key) {
    WideString text;
    return ReadParameterText(parameterSet, key, text) == ApiOk && Wtoi(text.c_str()) != 0;
}

void ReadOptional(int32_t parameterSet, const char *key, WideString &value) {
    if (ReadParameterText(parameterSet, key, value) != ApiOk) value.clear();
}

// "ServerUseTLS" through _wtoi, like the flags; the CA file and the pin count
// only with TLS on.
TlsRequest ReadTls(int32_t parameterSet) {
    TlsRequest tls;
    WideString mode;
    ReadOptional(parameterSet, ServerUseTLSKey, mode);
    tls.mode = static_cast<uint32_t>(Wtoi(mode.c_str()));
    if (!tls.Wanted()) return tls;
    ReadOptional(parameterSet, ServerTLSCAFileKey, tls.caFile);
    ReadOptional(parameterSet, ServerTLSFingerprintKey, tls.fingerprint);
    return tls;
}

}  // namespace

ResultCode ReadServerParameters(int32_t parameterSet, ServerParameters &parameters) {
    ResultCode result = ReadRequired(parameterSet, "ServerPrimaryAddress", parameters.serverName);
    if (result != ApiOk) return result;
    WideString port;
    result = ReadRequired(parameterSet, "ServerPrimaryPort", port);
    if (result != ApiOk) return result;
    parameters.port = Wtoi(port.c_str());
    // The client takes 16 bits: 70000 would reach port 4464 and -1 port 65535.
    if (parameters.port < lowestPort || parameters.port > highestPort) return ApiMissingServerParameter;
    parameters.usePassive = ReadFlag(parameterSet, "ServerUsePassive");
    parameters.verifyByRead = ReadFlag(parameterSet, "ServerVerifyByRead");
    parameters.endOnConfirmation = ReadFlag(parameterSet, ServerEndOnConfirmationKey);
    parameters.stopOnRefusal = ReadFlag(parameterSet, ServerStopOnRefusalKey);
    parameters.tls = ReadTls(parameterSet);
    result = ReadRequired(parameterSet, "ServerPrimaryLoginName", parameters.userName);
    if (result != ApiOk) return result;
    return ReadRequired(parameterSet, "ServerPrimaryLoginPassword", parameters.password);
}

}  // namespace sapi
