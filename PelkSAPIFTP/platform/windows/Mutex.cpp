#include "platform/Mutex.h"

#include <windows.h>

namespace sapi {

static_assert(sizeof(SRWLOCK) == sizeof(void *));

void Mutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

void Mutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

}  // namespace sapi
