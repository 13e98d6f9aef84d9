// Calling a host callback. Hosts answer with one byte, non-zero to go on; the
// rest of the return register is whatever the host left there. A call through
// the bool type lets the compiler assume the byte is 0 or 1 (GCC tests it with
// `cmp $0x1,%al`), which reads a host's 0xFF or 2 as "stop". So the callback is
// called through the same signature answering a plain byte, and any non-zero
// byte means go on.
#pragma once

#include <cstdint>
#include <utility>

#include "ServerApi.h"

namespace sapi {

template <typename... Parameters, typename... Arguments>
bool CallHostCallback(bool(SERVER_API_CALLBACK *callback)(Parameters...), Arguments &&...arguments) {
    using ByteAnswer = uint8_t(SERVER_API_CALLBACK *)(Parameters...);
    const auto byteAnswer = reinterpret_cast<ByteAnswer>(reinterpret_cast<void (*)()>(callback));
    return byteAnswer(std::forward<Arguments>(arguments)...) != 0;
}

}  // namespace sapi
