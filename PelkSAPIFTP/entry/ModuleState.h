// The module-global state that lives from load to unload.
#pragma once

namespace sapi {

// The host-context buffer: a one-byte block made by InitServerAPI, freed by
// ReleaseServerAPI and at unload; null while there is none. Connections keep
// its address; nobody reads the byte.
void *HostContextBuffer();

}  // namespace sapi
