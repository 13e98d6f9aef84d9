// The calling thread's last error and last server reply, as WinInet keeps
// them: GetLastError() and InternetGetLastResponseInfo() read them. A reply
// is kept up to its first 8 KiB.
#pragma once

#include <cstdint>
#include <string_view>

namespace sapi::ftpclient {

void SetThreadError(uint32_t error);
uint32_t ThreadError();

void SetThreadResponse(std::string_view text);
// Valid until the thread's next SetThreadResponse.
std::string_view ThreadResponse();

}  // namespace sapi::ftpclient
