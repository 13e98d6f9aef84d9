#include "ftp/services/sockets/LastError.h"

#include <cstring>

namespace sapi::ftpclient {

namespace {

// Nothing here has a destructor, on purpose. A thread_local that has one makes
// the C++ runtime hold the module loaded until the thread ends, and the
// Windows runtime then lets go of the DLL from inside the DLL's own
// thread-exit callback: the thread faults in code that is gone.
struct ResponseText {
    char bytes[8192];
    std::size_t length;
};

thread_local uint32_t threadError = 0;
thread_local ResponseText threadResponse{};

}  // namespace

void SetThreadError(uint32_t error) { threadError = error; }
uint32_t ThreadError() { return threadError; }

void SetThreadResponse(std::string_view text) {
    std::size_t length = text.size();
    if (length > sizeof threadResponse.bytes) {
        // Longer than any reply the plug-in asks for: cut, but not inside a
        // UTF-8 sequence.
        length = sizeof threadResponse.bytes;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(threadResponse.bytes, text.data(), length);
    threadResponse.length = length;
}

std::string_view ThreadResponse() { return {threadResponse.bytes, threadResponse.length}; }

}  // namespace sapi::ftpclient
