#include "ftp/services/sockets/LastError.h"

namespace sapi::ftpclient {

namespace {
thread_local uint32_t threadError = 0;
thread_local std::string threadResponse;
}  // namespace

void SetThreadError(uint32_t error) { threadError = error; }
uint32_t ThreadError() { return threadError; }

void SetThreadResponse(std::string text) { threadResponse = std::move(text); }
const std::string &ThreadResponse() { return threadResponse; }

}  // namespace sapi::ftpclient
