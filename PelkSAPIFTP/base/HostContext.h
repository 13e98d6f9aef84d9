// The host-context buffer, which connections are handed when they open. It is
// module-global state, defined with the rest of it in entry/ModuleState.cpp so
// that the order of construction and teardown stays in one place.
#pragma once

namespace sapi {

// The host-context buffer: a one-byte block made by InitServerAPI, freed by
// ReleaseServerAPI and at unload; null while there is none. Connections keep
// its address; nobody reads the byte.
void *HostContextBuffer();

// Makes a fresh buffer holding 0 and frees the previous one. Throws
// std::bad_alloc, with the previous buffer kept, when no block can be had.
void RenewHostContextBuffer();

// Frees the buffer; does nothing when there is none.
void ReleaseHostContextBuffer() noexcept;

}  // namespace sapi
