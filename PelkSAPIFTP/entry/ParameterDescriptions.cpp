// Slots 4 and 5: the keys the plug-in reads and writes, each with the label a
// host shows for it.
#include <span>

#include "base/Boundary.h"
#include "entry/EntrySlots.h"
#include "ftp/services/FtpClientServices.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"

namespace {

struct Description {
    const char *key;
    const sapi::WideChar *label;
};

// In the order they are written.
constexpr Description serverParameters[] = {
    {sapi::ServerPrimaryAddressKey, SAPI_WIDE("FTP Server Address")},
    {sapi::ServerPrimaryPortKey, SAPI_WIDE("FTP Server Port")},
    {sapi::ServerPrimaryLoginNameKey, SAPI_WIDE("Username")},
    {sapi::ServerPrimaryLoginPasswordKey, SAPI_WIDE("Password")},
    {sapi::ServerUsePassiveKey, SAPI_WIDE("Use Passive FTP")},
    {sapi::ServerVerifyByReadKey, SAPI_WIDE("Pre-Transfer File Test")},
    {sapi::ServerEndOnConfirmationKey, SAPI_WIDE("End Transfers on Server Confirmation")},
    {sapi::ServerStopOnRefusalKey, SAPI_WIDE("No File Test Retries after Refusal")},
};

// Offered only by a module whose FTP client has FTPS (not the WinInet one).
constexpr Description tlsParameters[] = {
    {sapi::ServerUseTLSKey, sapi::ServerUseTLSLabel},
    {sapi::ServerTLSCAFileKey, sapi::ServerTLSCAFileLabel},
    {sapi::ServerTLSFingerprintKey, sapi::ServerTLSFingerprintLabel},
};

sapi::ResultCode Describe(int32_t parameterSet, std::span<const Description> descriptions) {
    for (const Description &description : descriptions) {
        // Like the host's own SetParameter: a key already there takes the label
        // as its value and keeps its kind.
        const sapi::ResultCode result = sapi::SetParameterText(parameterSet, description.key, description.label);
        if (result != ApiOk) return result;
    }
    return ApiOk;
}

// Offered only by a module whose FTP client reconnects (not the WinInet one).
constexpr Description recoveryParameters[] = {
    {sapi::ServerReconnectKey, SAPI_WIDE("Reconnect and Resume after a Dropped Connection")},
};

// Offered only by a module whose FTP client asks servers for digests.
constexpr Description digestParameters[] = {
    {sapi::ServerVerifyHashKey, SAPI_WIDE("Verify Transfers by the Server's Digest (0 no, 1 where offered, 2 required)")},
};

// Offered only by a module whose FTP client follows growing files.
constexpr Description followParameters[] = {
    {sapi::ServerFollowGrowingKey, sapi::ServerFollowGrowingLabel},
};

sapi::ResultCode DescribeServer(int32_t parameterSet) {
    const sapi::FtpClientServices &client = sapi::PlatformFtpClientServices();
    sapi::ResultCode result = Describe(parameterSet, serverParameters);
    if (result == ApiOk && client.OffersRecovery()) result = Describe(parameterSet, recoveryParameters);
    if (result == ApiOk && client.OffersDigests()) result = Describe(parameterSet, digestParameters);
    if (result == ApiOk && client.OffersFollowing()) result = Describe(parameterSet, followParameters);
    if (result != ApiOk || !client.OffersTls()) return result;
    return Describe(parameterSet, tlsParameters);
}

}  // namespace

extern "C" {

ServerApiResult SERVER_API_CALL DescribeServerParameters(int32_t parameterSet) {
    return sapi::Guarded([&] { return DescribeServer(parameterSet); });
}

ServerApiResult SERVER_API_CALL DescribeAssetParameters(int32_t parameterSet) {
    return sapi::Guarded([&] {
        return sapi::AddParameterIfAbsent(parameterSet, sapi::AssetNameKey, 0, SAPI_WIDE("Asset Name"));
    });
}

}  // extern "C"
