#include "platform/Mutex.h"

#include <windows.h>

namespace sapi {

static_assert(sizeof(SRWLOCK) == sizeof(void *));

void Mutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

bool Mutex::try_lock() { return TryAcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)) != 0; }

void Mutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&lock_)); }

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(RecursiveMutex));

RecursiveMutex::RecursiveMutex() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION *>(section_)); }

RecursiveMutex::~RecursiveMutex() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION *>(section_)); }

void RecursiveMutex::lock() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION *>(section_)); }

void RecursiveMutex::unlock() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION *>(section_)); }

}  // namespace sapi
