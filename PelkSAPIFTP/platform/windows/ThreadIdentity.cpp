#include "platform/ThreadIdentity.h"

#include <windows.h>

namespace sapi {

// Thread id 0 belongs to the idle process: no thread of ours has it.
uintptr_t CurrentThreadIdentity() { return ::GetCurrentThreadId(); }

}  // namespace sapi
