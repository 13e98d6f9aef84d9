#include "ftp/ServerParameters.h"

#include "ftp/services/TlsOptions.h"

#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"
#include "platform/RuntimeText.h"

namespace sapi {

namespace {

// 0 is the default FTP port, 21, as WinInet takes it.
constexpr int32_t lowestPort = 0;
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

// Read as a flag is: "1" verifies where it can, and any number above asks for
// the strictest check there is, never for less.
uint32_t ReadVerifyHash(int32_t parameterSet) {
    WideString text;
    if (ReadParameterText(parameterSet, ServerVerifyHashKey, text) != ApiOk) return 0;
    const int32_t mode = Wtoi(text.c_str());
    return mode <= 0 ? 0 : mode == 1 ? 1 : 2;
}

// Absent, or still holding the label the module described it with: not set.
void ReadOptional(int32_t parameterSet, const char *key, const WideChar *label, WideString &value) {
    if (ReadParameterText(parameterSet, key, value) != ApiOk || value == label) value.clear();
}

WideString Trimmed(const WideString &text) {
    const std::size_t first = text.find_first_not_of(SAPI_WIDE(" \t"));
    if (first == WideString::npos) return {};
    return text.substr(first, text.find_last_not_of(SAPI_WIDE(" \t")) + 1 - first);
}

// "ServerFollowGrowing": digits only, 0 to 3600; blank is 0. Anything else is
// kept to be refused: "yes" or "-1" must not quietly mean "off", nor "9999" an hour.
void ReadFollowGrowing(int32_t parameterSet, ServerParameters &parameters) {
    WideString text;
    ReadOptional(parameterSet, ServerFollowGrowingKey, ServerFollowGrowingLabel, text);
    const WideString bare = Trimmed(text);
    uint32_t seconds = 0;
    for (const WideChar digit : bare) {
        if (digit < '0' || digit > '9' || seconds > maxFollowQuietSeconds) {
            seconds = maxFollowQuietSeconds + 1;
            break;
        }
        seconds = seconds * 10 + static_cast<uint32_t>(digit - '0');
    }
    if (seconds > maxFollowQuietSeconds) {
        parameters.invalidFollowGrowing = text;
    } else {
        parameters.followGrowing = seconds;
    }
}

// "ServerUseTLS" fails closed, unlike the flags: absent or blank is 0, and
// only "0", "1" and "2" (blanks around allowed) mean a mode. Read as a flag,
// "yes" would have been 0, clear text. The CA file and the pin count only
// with TLS on.
TlsRequest ReadTls(int32_t parameterSet) {
    TlsRequest tls;
    WideString mode;
    ReadOptional(parameterSet, ServerUseTLSKey, ServerUseTLSLabel, mode);
    const WideString bare = Trimmed(mode);
    if (bare.size() == 1 && bare[0] >= '0' && bare[0] <= '2') {
        tls.mode = static_cast<uint32_t>(bare[0] - '0');
    } else if (!bare.empty()) {
        tls.invalidMode = mode;
    }
    if (!tls.Wanted()) return tls;
    ReadOptional(parameterSet, ServerTLSCAFileKey, ServerTLSCAFileLabel, tls.caFile);
    ReadOptional(parameterSet, ServerTLSFingerprintKey, ServerTLSFingerprintLabel, tls.fingerprint);
    return tls;
}

}  // namespace

ResultCode ReadServerParameters(int32_t parameterSet, ServerParameters &parameters) {
    ResultCode result = ReadRequired(parameterSet, ServerPrimaryAddressKey, parameters.serverName);
    if (result != ApiOk) return result;
    WideString port;
    result = ReadRequired(parameterSet, ServerPrimaryPortKey, port);
    if (result != ApiOk) return result;
    parameters.port = Wtoi(port.c_str());
    // The client takes 16 bits: 70000 would reach port 4464 and -1 port 65535.
    if (parameters.port < lowestPort || parameters.port > highestPort) return ApiMissingServerParameter;
    parameters.usePassive = ReadFlag(parameterSet, ServerUsePassiveKey);
    parameters.verifyByRead = ReadFlag(parameterSet, ServerVerifyByReadKey);
    parameters.endOnConfirmation = ReadFlag(parameterSet, ServerEndOnConfirmationKey);
    parameters.stopOnRefusal = ReadFlag(parameterSet, ServerStopOnRefusalKey);
    parameters.reconnect = ReadFlag(parameterSet, ServerReconnectKey);
    parameters.verifyHash = ReadVerifyHash(parameterSet);
    ReadFollowGrowing(parameterSet, parameters);
    parameters.tls = ReadTls(parameterSet);
    result = ReadRequired(parameterSet, ServerPrimaryLoginNameKey, parameters.userName);
    if (result != ApiOk) return result;
    return ReadRequired(parameterSet, ServerPrimaryLoginPasswordKey, parameters.password);
}

}  // namespace sapi
