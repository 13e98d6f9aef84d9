#include "ModuleApi.h"

#include <algorithm>
#include <cstdio>

#include "ResultCodes.h"

namespace sapihost {

namespace {

std::string Bool(bool value) { return value ? "true" : "false"; }

void TraceLine(const std::string &line) {
    std::fprintf(stderr, "trace: %s\n", line.c_str());
    std::fflush(stderr);
}

bool IsSecretKey(const std::string &key) { return key.find("Password") != std::string::npos; }

struct CallbackContext {
    const DataSink *sink = nullptr;
    const ProgressSink *progress = nullptr;
    const DataSource *source = nullptr;
    bool trace = false;
};

// The module calls these on our thread, from inside the operation. Nothing may
// leave them as an exception: the module's frames lie between.
bool SERVER_API_CALLBACK ReadAssetThunk(void *context, const void *data, uint32_t count, int64_t totalSize) {
    auto &c = *static_cast<CallbackContext *>(context);
    bool goOn = false;
    try {
        goOn = (*c.sink)(data, count, totalSize);
    } catch (...) {
    }
    if (c.trace) {
        TraceLine("  callback ReadAssetCallback(count=" + std::to_string(count) +
                  ", totalSize=" + std::to_string(totalSize) + ") -> " + Bool(goOn));
    }
    return goOn;
}

bool SERVER_API_CALLBACK ProgressThunk(void *context, uint32_t count, int64_t totalSize) {
    auto &c = *static_cast<CallbackContext *>(context);
    bool goOn = true;
    try {
        if (*c.progress) goOn = (*c.progress)(count, totalSize);
    } catch (...) {
        goOn = false;
    }
    if (c.trace) {
        TraceLine("  callback TransferProgressCallback(count=" + std::to_string(count) +
                  ", totalSize=" + std::to_string(totalSize) + ") -> " + Bool(goOn));
    }
    return goOn;
}

bool SERVER_API_CALLBACK WriteAssetThunk(void *context, void *buffer, uint32_t *length) {
    auto &c = *static_cast<CallbackContext *>(context);
    const uint32_t capacity = *length;
    bool goOn = false;
    try {
        goOn = (*c.source)(buffer, length);
    } catch (...) {
        *length = 0;
    }
    if (c.trace) {
        TraceLine("  callback WriteAssetCallback(length in=" + std::to_string(capacity) +
                  ", out=" + std::to_string(*length) + ") -> " + Bool(goOn));
    }
    return goOn;
}

bool SERVER_API_CALLBACK CollectParameter(void *context, const char *key, const ServerApiChar *value, int32_t kind) {
    try {
        static_cast<std::vector<ParameterEntry> *>(context)->push_back({key, ToUtf8(value), kind});
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

std::string Quote(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::unique_ptr<ModuleApi> ModuleApi::Load(const std::string &path, bool trace, std::string &error) {
    auto module = platform::LoadedModule::Load(path, error);
    if (!module) return nullptr;
    auto init = reinterpret_cast<InitServerAPIFunction>(module->Symbol(SERVER_API_ENTRY_NAME));
    if (init == nullptr) {
        error = path + " has no " SERVER_API_ENTRY_NAME ": not a server-access module";
        return nullptr;
    }
    const ServerApiFunctions *table = nullptr;
    const ServerApiResult result = init(SERVER_API_VERSION, &table);
    if (trace) {
        TraceLine("InitServerAPI(version=3, &table) -> " + std::to_string(result) + " " + ResultName(result));
    }
    if (result != ApiOk || table == nullptr) {
        error = "InitServerAPI failed: " + DescribeResult(result);
        return nullptr;
    }
    return std::unique_ptr<ModuleApi>(new ModuleApi(std::move(module), table, trace));
}

ModuleApi::ModuleApi(std::unique_ptr<platform::LoadedModule> module, const ServerApiFunctions *table, bool trace)
    : module_(std::move(module)), table_(table), trace_(trace) {}

ModuleApi::~ModuleApi() {
    table_->ReleaseServerAPI();
    TraceVoid("ReleaseServerAPI()");
}

void ModuleApi::Trace(const std::string &call, ServerApiResult result, const std::string &outputs) const {
    if (!trace_) return;
    TraceLine(call + " -> " + std::to_string(result) + " " + ResultName(result) + (outputs.empty() ? "" : ", " + outputs));
}

void ModuleApi::TraceVoid(const std::string &call) const {
    if (trace_) TraceLine(call);
}

// TextCopyOut: ask the size with a null buffer, then copy with that capacity.
ServerApiResult ModuleApi::CopyOut(const std::string &call,
                                   const std::function<ServerApiResult(ServerApiChar *, uint32_t *)> &slot,
                                   std::string &text) {
    uint32_t length = 0;
    ServerApiResult result = slot(nullptr, &length);
    Trace(call + "text=null, &length=0)", result, "length=" + std::to_string(length));
    if (result != ApiOk) return result;
    HostText buffer(length, ServerApiChar{0});
    const uint32_t capacity = length;
    result = slot(buffer.data(), &length);
    if (result == ApiOk && capacity > 0) text = ToUtf8(buffer.c_str());
    Trace(call + "text, &length=" + std::to_string(capacity) + ")", result,
          result == ApiOk ? "text=" + Quote(text) : "length=" + std::to_string(length));
    return result;
}

ServerApiResult ModuleApi::GetServerTypeName(std::string &text) {
    return CopyOut("GetServerTypeName(", table_->GetServerTypeName, text);
}

ServerApiResult ModuleApi::GetServerTypeId(std::string &text) {
    ServerApiChar buffer[40] = {};  // the slot takes no length: 39 characters at most
    const ServerApiResult result = table_->GetServerTypeId(buffer);
    buffer[39] = 0;
    text = ToUtf8(buffer);
    Trace("GetServerTypeId(text[40])", result, "text=" + Quote(text));
    return result;
}

ServerApiResult ModuleApi::GetServerGroupName(std::string &text) {
    return CopyOut("GetServerGroupName(", table_->GetServerGroupName, text);
}

ServerApiResult ModuleApi::DescribeServerParameters(int32_t set) {
    const ServerApiResult result = table_->DescribeServerParameters(set);
    Trace("DescribeServerParameters(set=" + std::to_string(set) + ")", result);
    return result;
}

ServerApiResult ModuleApi::DescribeAssetParameters(int32_t set) {
    const ServerApiResult result = table_->DescribeAssetParameters(set);
    Trace("DescribeAssetParameters(set=" + std::to_string(set) + ")", result);
    return result;
}

ServerApiResult ModuleApi::CreateParameterSet(int32_t &set) {
    const ServerApiResult result = table_->CreateParameterSet(&set);
    Trace("CreateParameterSet(&set)", result, "set=" + std::to_string(set));
    return result;
}

void ModuleApi::DestroyParameterSet(int32_t set) {
    table_->DestroyParameterSet(set);
    TraceVoid("DestroyParameterSet(set=" + std::to_string(set) + ")");
}

ServerApiResult ModuleApi::SetParameter(int32_t set, const std::string &key, const std::string &value) {
    const ServerApiResult result = table_->SetParameter(set, key.c_str(), ToHostText(value).c_str());
    const std::string shown = IsSecretKey(key) ? "\"********\"" : Quote(value);
    Trace("SetParameter(set=" + std::to_string(set) + ", key=" + Quote(key) + ", value=" + shown + ")", result);
    return result;
}

ServerApiResult ModuleApi::GetParameter(int32_t set, const std::string &key, std::string &value) {
    return CopyOut("GetParameter(set=" + std::to_string(set) + ", key=" + Quote(key) + ", ",
                   [&](ServerApiChar *text, uint32_t *length) {
                       return table_->GetParameter(set, key.c_str(), text, length);
                   },
                   value);
}

ServerApiResult ModuleApi::EnumerateParameters(int32_t set, std::vector<ParameterEntry> &entries) {
    const ServerApiResult result = table_->EnumerateParameters(set, CollectParameter, &entries);
    std::string seen;
    for (const auto &e : entries) seen += (seen.empty() ? "" : ", ") + Quote(e.key);
    Trace("EnumerateParameters(set=" + std::to_string(set) + ", callback, context)", result, "keys=[" + seen + "]");
    return result;
}

ServerApiResult ModuleApi::OpenServer(int32_t set, int32_t &connection) {
    const ServerApiResult result = table_->OpenServer(set, &connection);
    Trace("OpenServer(set=" + std::to_string(set) + ", &connection)", result,
          result == ApiOk ? "connection=" + std::to_string(connection) : std::string());
    return result;
}

void ModuleApi::CloseServer(int32_t connection) {
    table_->CloseServer(connection);
    TraceVoid("CloseServer(connection=" + std::to_string(connection) + ")");
}

// A listing's names are read by the hundred thousand: each one in a single
// call, into a buffer on the stack that holds any name a listing record can
// (259 units and the terminator), and no trace text unless tracing. A module
// that has a longer one says how long; a buffer that size is made and the
// call made again. Nothing is kept between calls: the connections of a -P
// batch read names from their own threads through this one object.
ServerApiResult ModuleApi::ListingText(ListingKind kind, int32_t connection, int32_t index, std::string &text) {
    static const char *const names[] = {"GetFolderName", "GetFolderTitle", "GetAssetName", "GetAssetTitle"};
    const ListingTextFunction slots[] = {table_->GetFolderName, table_->GetFolderTitle, table_->GetAssetName,
                                         table_->GetAssetTitle};
    const auto which = static_cast<size_t>(kind);
    ServerApiChar usual[260];
    std::vector<ServerApiChar> large;
    ServerApiChar *buffer = usual;
    uint32_t capacity = 260;
    uint32_t length = capacity;
    ServerApiResult result = slots[which](connection, index, buffer, &length);
    // No name is longer than 64 Ki units: a module that claims more is wrong,
    // and its answer stands rather than a buffer of gigabytes.
    if (result == ApiBufferTooSmall && length > capacity && length <= 65536) {
        TraceListingCall(names[which], connection, index, capacity, result, "length=" + std::to_string(length));
        large.resize(length);
        buffer = large.data();
        capacity = length;
        result = slots[which](connection, index, buffer, &length);
    }
    if (result == ApiOk) {
        // The terminator ends the name, whatever length the module claims.
        const ServerApiChar *name = buffer;
        AssignUtf8(text, std::basic_string_view<ServerApiChar>(
                             name, static_cast<size_t>(std::find(name, name + capacity, ServerApiChar{0}) - name)));
    }
    if (trace_) {
        TraceListingCall(names[which], connection, index, capacity, result,
                         result == ApiOk ? "text=" + Quote(text) : "length=" + std::to_string(length));
    }
    return result;
}

void ModuleApi::TraceListingCall(const char *name, int32_t connection, int32_t index, uint32_t capacity,
                                 ServerApiResult result, const std::string &outputs) const {
    if (!trace_) return;
    Trace(std::string(name) + "(connection=" + std::to_string(connection) + ", index=" + std::to_string(index) +
              ", text, &length=" + std::to_string(capacity) + ")",
          result, outputs);
}

ServerApiResult ModuleApi::ChangeFolder(int32_t connection, const std::string &name) {
    const ServerApiResult result = table_->ChangeFolder(connection, ToHostText(name).c_str());
    Trace("ChangeFolder(connection=" + std::to_string(connection) + ", name=" + Quote(name) + ")", result);
    return result;
}

ServerApiResult ModuleApi::GetCurrentFolder(int32_t connection, std::string &folder) {
    // One length serves both buffers; the first one's copy decides the result.
    uint32_t length = 0;
    ServerApiResult result = table_->GetCurrentFolder(connection, nullptr, nullptr, &length);
    Trace("GetCurrentFolder(connection=" + std::to_string(connection) + ", first=null, second=null, &length=0)",
          result, "length=" + std::to_string(length));
    if (result != ApiOk) return result;
    HostText first(length, ServerApiChar{0});
    HostText second(length, ServerApiChar{0});
    const uint32_t capacity = length;
    result = table_->GetCurrentFolder(connection, first.data(), second.data(), &length);
    if (result == ApiOk && capacity > 0) folder = ToUtf8(first.c_str());
    Trace("GetCurrentFolder(connection=" + std::to_string(connection) + ", first, second, &length=" +
              std::to_string(capacity) + ")",
          result, result == ApiOk ? "first=" + Quote(folder) + ", second=" + Quote(ToUtf8(second.c_str())) : "");
    return result;
}

ServerApiResult ModuleApi::GetAssetInfo(int32_t connection, const std::string &name, int32_t set) {
    const ServerApiResult result = table_->GetAssetInfo(connection, ToHostText(name).c_str(), set);
    Trace("GetAssetInfo(connection=" + std::to_string(connection) + ", name=" + Quote(name) +
              ", set=" + std::to_string(set) + ")",
          result);
    return result;
}

ServerApiResult ModuleApi::ReadAsset(int32_t connection, const std::string &name, const DataSink &sink) {
    CallbackContext context;
    context.sink = &sink;
    context.trace = trace_;
    TraceVoid("ReadAsset(connection=" + std::to_string(connection) + ", name=" + Quote(name) + ", callback, context) ...");
    const ServerApiResult result = table_->ReadAsset(connection, ToHostText(name).c_str(), ReadAssetThunk, &context);
    Trace("ReadAsset(...)", result);
    return result;
}

ServerApiResult ModuleApi::DownloadAsset(int32_t connection, const std::string &remoteName,
                                         const std::string &localPath, const ProgressSink &progress) {
    CallbackContext context;
    context.progress = &progress;
    context.trace = trace_;
    TraceVoid("DownloadAsset(connection=" + std::to_string(connection) + ", remoteName=" + Quote(remoteName) +
              ", localPath=" + Quote(localPath) + ", progress, context) ...");
    const ServerApiResult result = table_->DownloadAsset(connection, ToHostText(remoteName).c_str(),
                                                         ToHostText(localPath).c_str(), ProgressThunk, &context);
    Trace("DownloadAsset(...)", result);
    return result;
}

ServerApiResult ModuleApi::WriteAsset(int32_t connection, int32_t set, int64_t streamSize, const DataSource &source) {
    CallbackContext context;
    context.source = &source;
    context.trace = trace_;
    TraceVoid("WriteAsset(connection=" + std::to_string(connection) + ", set=" + std::to_string(set) +
              ", streamSize=" + std::to_string(streamSize) + ", callback, context) ...");
    const ServerApiResult result = table_->WriteAsset(connection, set, streamSize, WriteAssetThunk, &context);
    Trace("WriteAsset(...)", result);
    return result;
}

ServerApiResult ModuleApi::UploadAsset(int32_t connection, int32_t set, const std::string &localPath,
                                       const ProgressSink &progress) {
    CallbackContext context;
    context.progress = &progress;
    context.trace = trace_;
    TraceVoid("UploadAsset(connection=" + std::to_string(connection) + ", set=" + std::to_string(set) +
              ", localPath=" + Quote(localPath) + ", progress, context) ...");
    const ServerApiResult result =
        table_->UploadAsset(connection, set, ToHostText(localPath).c_str(), ProgressThunk, &context);
    Trace("UploadAsset(...)", result);
    return result;
}

void ModuleApi::AbortServer(int32_t connection) {
    table_->AbortServer(connection);
    TraceVoid("AbortServer(connection=" + std::to_string(connection) + ")");
}

ServerApiResult ModuleApi::DeleteAsset(int32_t connection, const std::string &name) {
    const ServerApiResult result = table_->DeleteAsset(connection, ToHostText(name).c_str());
    Trace("DeleteAsset(connection=" + std::to_string(connection) + ", name=" + Quote(name) + ")", result);
    return result;
}

}  // namespace sapihost
