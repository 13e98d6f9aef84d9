#include "platform/ThreadIdentity.h"

#include <pthread.h>

namespace sapi {

// glibc's pthread_t is the address of the thread's descriptor: never 0.
uintptr_t CurrentThreadIdentity() { return static_cast<uintptr_t>(::pthread_self()); }

}  // namespace sapi
