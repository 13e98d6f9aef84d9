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

// clang's function-type check would object to the byte-answer view of a
// callback the host (or a test) declared as answering bool.
#if defined(__clang__)
#define SAPI_BYTE_ANSWER_CALL __attribute__((no_sanitize("function")))
#else
#define SAPI_BYTE_ANSWER_CALL
#endif

namespace sapi {

template <typename... Parameters, typename... Arguments>
SAPI_BYTE_ANSWER_CALL bool CallHostCallback(bool(SERVER_API_CALLBACK *callback)(Parameters...), Arguments &&...arguments) {
    using ByteAnswer = uint8_t(SERVER_API_CALLBACK *)(Parameters...);
    const auto byteAnswer = reinterpret_cast<ByteAnswer>(reinterpret_cast<void (*)()>(callback));
    return byteAnswer(std::forward<Arguments>(arguments)...) != 0;
}

}  // namespace sapi
