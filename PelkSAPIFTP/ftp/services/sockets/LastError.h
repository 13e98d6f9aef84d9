// The calling thread's last error and last server reply, as WinInet keeps
// them: GetLastError() and InternetGetLastResponseInfo() read them.
#pragma once

#include <cstdint>
#include <string>

namespace sapi::ftpclient {

void SetThreadError(uint32_t error);
uint32_t ThreadError();

void SetThreadResponse(std::string text);
const std::string &ThreadResponse();

}  // namespace sapi::ftpclient
