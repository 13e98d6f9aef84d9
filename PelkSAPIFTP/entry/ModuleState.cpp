// All module-global state is defined here, in one translation unit, so that the
// order of static construction is the order of definition below, and unload
// tears it down in reverse: the parameter sets first, then the connection
// registry (which lets its connections go without closing them), then the
// host-context buffer.
#include "base/HostContext.h"

#include <memory>
#include <utility>

#include "ftp/ConnectionRegistry.h"
#include "parameters/ParameterSetRegistry.h"

namespace sapi {

namespace {

std::unique_ptr<unsigned char> hostContext;
ConnectionRegistry connections;
ParameterSetRegistry parameterSets;

}  // namespace

void *HostContextBuffer() { return hostContext.get(); }

void RenewHostContextBuffer() {
    // Made before the old one goes, so a failure leaves the old one in place.
    auto fresh = std::make_unique<unsigned char>(static_cast<unsigned char>(0));
    hostContext = std::move(fresh);
}

void ReleaseHostContextBuffer() noexcept { hostContext.reset(); }

ConnectionRegistry &Connections() { return connections; }

ParameterSetRegistry &ParameterSets() { return parameterSets; }

}  // namespace sapi
