// A number for the calling thread, for state that must know which thread
// holds it. Never 0, which stands for "no thread".
#pragma once

#include <cstdint>

namespace sapi {

uintptr_t CurrentThreadIdentity();

}  // namespace sapi
