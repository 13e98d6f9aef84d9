// Every result code a module returns, with its name and what it means to the
// person at the keyboard.
#pragma once

#include <span>
#include <string>

#include "ServerApi.h"

namespace sapihost {

struct ResultCodeInfo {
    ServerApiResult code;
    const char *name;
    const char *sentence;
};

std::span<const ResultCodeInfo> AllResultCodes();

// "ApiRemoteOpenFailed"; "unknown result" for a value no module should return.
const char *ResultName(ServerApiResult code);
const char *ResultSentence(ServerApiResult code);
// "-17 ApiRemoteOpenFailed: the remote file could not be opened for reading."
std::string DescribeResult(ServerApiResult code);

}  // namespace sapihost
