#include "ResultCodes.h"

#include <array>

namespace sapihost {

namespace {

constexpr std::array<ResultCodeInfo, 17> kCodes{{
    {ApiOk, "ApiOk", "done."},
    {ApiOutOfMemory, "ApiOutOfMemory", "the module ran out of memory while starting."},
    {ApiFailed, "ApiFailed",
     "the operation failed (a folder listing, a local file that could not be created or opened, "
     "or a remote file that could not be opened for writing)."},
    {ApiInvalidArgument, "ApiInvalidArgument",
     "an argument was missing or empty, or the parameter set does not exist."},
    {ApiNoSuchConnection, "ApiNoSuchConnection", "the connection is not open."},
    {ApiIndexOutOfRange, "ApiIndexOutOfRange", "the listing has no entry at that position."},
    {ApiBufferTooSmall, "ApiBufferTooSmall", "the text did not fit into the buffer offered."},
    {ApiVersionMismatch, "ApiVersionMismatch", "the module does not speak this interface version."},
    {ApiParameterNotFound, "ApiParameterNotFound", "the parameter set has no such key."},
    {ApiMissingServerParameter, "ApiMissingServerParameter",
     "a server setting (address, port, user name or password) is missing."},
    {ApiInternetOpenFailed, "ApiInternetOpenFailed", "the module could not start its FTP client."},
    {ApiConnectFailed, "ApiConnectFailed",
     "could not connect or log in: check the address, the port, the user name and the password."},
    {ApiFolderUnavailable, "ApiFolderUnavailable", "the folder could neither be entered nor created."},
    {ApiRemoteOpenFailed, "ApiRemoteOpenFailed",
     "the remote file could not be opened for reading (no such file, a folder, or no permission)."},
    {ApiTransferFailed, "ApiTransferFailed", "the transfer failed or moved no bytes."},
    {ApiTransferCancelled, "ApiTransferCancelled", "the transfer was cancelled."},
    {ApiConnectionBusy, "ApiConnectionBusy", "another thread's call is running on this connection."},
}};

const ResultCodeInfo *Find(ServerApiResult code) {
    for (const auto &info : kCodes) {
        if (info.code == code) return &info;
    }
    return nullptr;
}

}  // namespace

std::span<const ResultCodeInfo> AllResultCodes() { return kCodes; }

const char *ResultName(ServerApiResult code) {
    const ResultCodeInfo *info = Find(code);
    return info != nullptr ? info->name : "unknown result";
}

const char *ResultSentence(ServerApiResult code) {
    const ResultCodeInfo *info = Find(code);
    return info != nullptr ? info->sentence : "the module returned a code this host does not know.";
}

std::string DescribeResult(ServerApiResult code) {
    return std::to_string(code) + " " + ResultName(code) + ": " + ResultSentence(code);
}

}  // namespace sapihost
