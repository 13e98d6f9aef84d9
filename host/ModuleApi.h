// The loaded module's table, called the way a host calls it, with every call
// (and every callback the module makes) written to stderr under --trace.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HostText.h"
#include "ServerApi.h"
#include "platform/Platform.h"

namespace sapihost {

struct ParameterEntry {
    std::string key;
    std::string value;
    int32_t kind = 0;
};

enum class ListingKind { FolderName, FolderTitle, AssetName, AssetTitle };

// Returns false to stop the transfer.
using DataSink = std::function<bool(const void *data, uint32_t count, int64_t totalSize)>;
using ProgressSink = std::function<bool(uint32_t count, int64_t totalSize)>;
// Fills up to *length bytes of buffer and sets *length; false to stop.
using DataSource = std::function<bool(void *buffer, uint32_t *length)>;

class ModuleApi {
public:
    // Loads the module, finds InitServerAPI and calls it with version 3.
    static std::unique_ptr<ModuleApi> Load(const std::string &path, bool trace, std::string &error);
    ~ModuleApi();  // ReleaseServerAPI, then unload
    ModuleApi(const ModuleApi &) = delete;
    ModuleApi &operator=(const ModuleApi &) = delete;

    ServerApiResult GetServerTypeName(std::string &text);
    ServerApiResult GetServerTypeId(std::string &text);
    ServerApiResult GetServerGroupName(std::string &text);
    ServerApiResult DescribeServerParameters(int32_t set);
    ServerApiResult DescribeAssetParameters(int32_t set);
    ServerApiResult CreateParameterSet(int32_t &set);
    void DestroyParameterSet(int32_t set);
    ServerApiResult SetParameter(int32_t set, const std::string &key, const std::string &value);
    ServerApiResult GetParameter(int32_t set, const std::string &key, std::string &value);
    ServerApiResult EnumerateParameters(int32_t set, std::vector<ParameterEntry> &entries);
    ServerApiResult OpenServer(int32_t set, int32_t &connection);
    void CloseServer(int32_t connection);
    ServerApiResult ListingText(ListingKind kind, int32_t connection, int32_t index, std::string &text);
    ServerApiResult ChangeFolder(int32_t connection, const std::string &name);
    ServerApiResult GetCurrentFolder(int32_t connection, std::string &folder);
    ServerApiResult GetAssetInfo(int32_t connection, const std::string &name, int32_t set);
    ServerApiResult ReadAsset(int32_t connection, const std::string &name, const DataSink &sink);
    ServerApiResult DownloadAsset(int32_t connection, const std::string &remoteName, const std::string &localPath,
                                  const ProgressSink &progress);
    ServerApiResult WriteAsset(int32_t connection, int32_t set, int64_t streamSize, const DataSource &source);
    ServerApiResult UploadAsset(int32_t connection, int32_t set, const std::string &localPath,
                                const ProgressSink &progress);
    void AbortServer(int32_t connection);
    ServerApiResult DeleteAsset(int32_t connection, const std::string &name);

    bool Tracing() const { return trace_; }

private:
    ModuleApi(std::unique_ptr<platform::LoadedModule> module, const ServerApiFunctions *table, bool trace);
    ServerApiResult CopyOut(const std::string &call, const std::function<ServerApiResult(ServerApiChar *, uint32_t *)> &slot,
                            std::string &text);
    void Trace(const std::string &call, ServerApiResult result, const std::string &outputs = {}) const;
    void TraceVoid(const std::string &call) const;
    void TraceListingCall(const char *name, int32_t connection, int32_t index, uint32_t capacity,
                          ServerApiResult result, const std::string &outputs) const;

    std::unique_ptr<platform::LoadedModule> module_;
    const ServerApiFunctions *table_;
    bool trace_;
};

// A parameter set that is destroyed when the object goes.
class ScopedParameterSet {
public:
    explicit ScopedParameterSet(ModuleApi &api) : api_(api) { result_ = api_.CreateParameterSet(handle_); }
    ~ScopedParameterSet() {
        if (result_ == ApiOk) api_.DestroyParameterSet(handle_);
    }
    ScopedParameterSet(const ScopedParameterSet &) = delete;
    ScopedParameterSet &operator=(const ScopedParameterSet &) = delete;
    ServerApiResult CreationResult() const { return result_; }
    int32_t Handle() const { return handle_; }

private:
    ModuleApi &api_;
    int32_t handle_ = 0;
    ServerApiResult result_ = ApiFailed;
};

// Quotes a text for trace and error lines: "a\"b\n" style.
std::string Quote(const std::string &text);

}  // namespace sapihost
