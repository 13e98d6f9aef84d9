#include "FakeFtpClientServices.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "ftp/services/ControlText.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::testing {

using namespace sapi::wininet;

namespace {

std::optional<std::string> Text(const WideChar *text) {
    if (text == nullptr) return std::nullopt;
    return Utf8FromWide(WideView(text));
}

void CopyName(std::string_view name, FtpFindData &record) {
    const WideString wide = WideFromUtf8(name);
    const std::size_t count = std::min<std::size_t>(wide.size(), MAX_PATH - 1);
    std::copy_n(wide.begin(), count, record.fileName);
    record.fileName[count] = 0;
}

}  // namespace

FtpFindData FakeFolder(std::string_view name) {
    FtpFindData record;
    record.fileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    CopyName(name, record);
    return record;
}

FtpFindData FakeFile(std::string_view name, uint64_t size) {
    FtpFindData record;
    record.fileSizeLow = static_cast<uint32_t>(size);
    record.fileSizeHigh = static_cast<uint32_t>(size >> 32);
    CopyName(name, record);
    return record;
}

// ---- scripts and inspection -------------------------------------------------

void FakeFtpClientServices::Script(const std::string &call, FakeOutcome outcome) {
    outcomes_[call].push_back(outcome);
}

void FakeFtpClientServices::ScriptFailures(const std::string &call, uint32_t error, int times) {
    for (int i = 0; i < times; ++i) Script(call, FakeOutcome::Failure(error));
}

void FakeFtpClientServices::Unscript(const std::string &call) { outcomes_.erase(call); }

void FakeFtpClientServices::OnCall(const std::string &call, int occurrence,
                                   std::function<void()> hook) {
    hooks_.push_back({call, occurrence, std::move(hook)});
}

std::vector<std::string> FakeFtpClientServices::CallNames() const {
    std::vector<std::string> names;
    for (const FakeCall &call : calls) names.push_back(call.name);
    return names;
}

std::vector<const FakeCall *> FakeFtpClientServices::CallsNamed(const std::string &call) const {
    std::vector<const FakeCall *> found;
    for (const FakeCall &each : calls) {
        if (each.name == call) found.push_back(&each);
    }
    return found;
}

int FakeFtpClientServices::CountOf(const std::string &call) const {
    return static_cast<int>(CallsNamed(call).size());
}

std::optional<FakeFtpClientServices::HandleKind> FakeFtpClientServices::KindOf(
    InternetHandle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return std::nullopt;
    return found->second.kind;
}

std::optional<FakeFtpClientServices::HandleState> FakeFtpClientServices::StateOf(
    InternetHandle handle) const {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return std::nullopt;
    return found->second.state;
}

int FakeFtpClientServices::OpenHandleCount() const {
    return static_cast<int>(std::count_if(handles_.begin(), handles_.end(), [](const auto &entry) {
        return entry.second.state == HandleState::Open;
    }));
}

void FakeFtpClientServices::Notify(InternetHandle handle, uint32_t status) {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return;
    InternetStatusCallback callback = found->second.callback;
    if (callback == nullptr && found->second.parent != nullptr) {
        const auto parent = handles_.find(found->second.parent);
        if (parent != handles_.end()) callback = parent->second.callback;
    }
    if (callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK) return;
    callback(handle, found->second.context, status, nullptr, 0);
}

// ---- bookkeeping --------------------------------------------------------------

void FakeFtpClientServices::RunHooks(const std::string &name) {
    const int occurrence = ++counts_[name];
    for (Hook &hook : hooks_) {
        if (hook.call == name && hook.occurrence == occurrence && hook.run) {
            std::function<void()> run = std::move(hook.run);
            hook.run = nullptr;
            run();
        }
    }
}

FakeCall &FakeFtpClientServices::Begin(const std::string &name, InternetHandle handle) {
    RunHooks(name);
    calls.push_back(FakeCall{});
    calls.back().name = name;
    calls.back().handle = handle;
    return calls.back();
}

bool FakeFtpClientServices::Fail(FakeCall &call, uint32_t error) {
    call.succeeded = false;
    call.error = error;
    lastError_ = error;
    return false;
}

bool FakeFtpClientServices::Succeed(FakeCall &call) {
    call.succeeded = true;
    call.error = 0;
    lastError_ = 0;
    return true;
}

InternetHandle FakeFtpClientServices::Make(FakeCall &call, HandleKind kind, InternetHandle parent,
                                           uintptr_t context) {
    nextHandle_ += 0x10;
    InternetHandle made = reinterpret_cast<InternetHandle>(nextHandle_);
    handles_[made] = Handle{kind, HandleState::Open, parent, context, nullptr, {}, 0};
    call.result = made;
    Succeed(call);
    return made;
}

std::optional<FakeOutcome> FakeFtpClientServices::NextOutcome(const std::string &call) {
    auto found = outcomes_.find(call);
    if (found == outcomes_.end() || found->second.empty()) return std::nullopt;
    FakeOutcome outcome = found->second.front();
    found->second.pop_front();
    return outcome;
}

bool FakeFtpClientServices::IsOpen(InternetHandle handle, HandleKind kind) const {
    const auto found = handles_.find(handle);
    return found != handles_.end() && found->second.kind == kind &&
           found->second.state == HandleState::Open;
}

bool FakeFtpClientServices::FileOpenUnder(InternetHandle connect) const {
    return std::any_of(handles_.begin(), handles_.end(), [connect](const auto &entry) {
        return entry.second.parent == connect && entry.second.kind == HandleKind::File &&
               entry.second.state == HandleState::Open;
    });
}

bool FakeFtpClientServices::ConnectRequest(FakeCall &call, InternetHandle connect,
                                           const WideChar *text) {
    if (!IsOpen(connect, HandleKind::Connect)) return Fail(call, ERROR_INVALID_HANDLE);
    if (!IsSingleLine(text)) return Fail(call, ERROR_INVALID_PARAMETER);
    if (refuseWhileFileOpen && FileOpenUnder(connect)) {
        return Fail(call, ERROR_FTP_TRANSFER_IN_PROGRESS);
    }
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        return Fail(call, outcome->error);
    }
    return true;
}

void FakeFtpClientServices::Orphan(InternetHandle parent) {
    for (auto &entry : handles_) {
        if (entry.second.parent == parent && entry.second.state == HandleState::Open) {
            problems.push_back("a parent was closed while a child was open");
            entry.second.state = HandleState::Orphaned;
            Orphan(entry.first);
        }
    }
}

// ---- the services ---------------------------------------------------------------

InternetHandle FakeFtpClientServices::InternetOpen(const WideChar *agent, uint32_t accessType,
                                                   const WideChar *proxy,
                                                   const WideChar *proxyBypass, uint32_t flags) {
    FakeCall &call = Begin("InternetOpen", nullptr);
    call.texts = {Text(agent), Text(proxy), Text(proxyBypass)};
    call.number = accessType;
    call.flags = flags;
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        Fail(call, outcome->error);
        return nullptr;
    }
    return Make(call, HandleKind::Internet, nullptr, 0);
}

InternetHandle FakeFtpClientServices::InternetConnect(InternetHandle internet,
                                                      const WideChar *serverName, uint16_t port,
                                                      const WideChar *userName,
                                                      const WideChar *password, uint32_t service,
                                                      uint32_t flags, uintptr_t context) {
    FakeCall &call = Begin("InternetConnect", internet);
    call.texts = {Text(serverName), Text(userName), Text(password)};
    call.port = port;
    call.number = service;
    call.flags = flags;
    call.context = context;
    if (!IsOpen(internet, HandleKind::Internet)) {
        Fail(call, ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The login goes to the server as USER and PASS lines.
    if (!IsSingleLine(serverName) || !IsSingleLine(userName) || !IsSingleLine(password)) {
        Fail(call, ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        Fail(call, outcome->error);
        return nullptr;
    }
    return Make(call, HandleKind::Connect, internet, context);
}

bool FakeFtpClientServices::InternetSetOption(InternetHandle handle, uint32_t option, const void *buffer,
                                              uint32_t length) {
    FakeCall &call = Begin("InternetSetOption", handle);
    call.number = option;
    const bool number = option == SAPI_OPTION_FTP_TLS_MODE || option == SAPI_OPTION_FTP_RECONNECT;
    if (buffer != nullptr && length == sizeof(uint32_t) && number) {
        std::memcpy(&call.flags, buffer, sizeof(uint32_t));
    } else if (buffer != nullptr) {
        call.texts = {Utf8FromWide(WideView(static_cast<const WideChar *>(buffer), length))};
    }
    if (!IsOpen(handle, HandleKind::Internet)) return Fail(call, ERROR_INVALID_HANDLE);
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) return Fail(call, outcome->error);
    if (option == SAPI_OPTION_FTP_RECONNECT) reconnects_ = call.flags != 0;
    return Succeed(call);
}

InternetStatusCallback FakeFtpClientServices::InternetSetStatusCallback(
    InternetHandle handle, InternetStatusCallback callback) {
    FakeCall &call = Begin("InternetSetStatusCallback", handle);
    const auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.state != HandleState::Open) {
        Fail(call, ERROR_INVALID_HANDLE);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        Fail(call, outcome->error);
        return INTERNET_INVALID_STATUS_CALLBACK;
    }
    InternetStatusCallback before =
        found->second.callback != nullptr ? found->second.callback : previousCallback;
    found->second.callback = callback;
    Succeed(call);
    return before;
}

InternetHandle FakeFtpClientServices::FtpFindFirstFile(InternetHandle connect,
                                                       const WideChar *searchPattern,
                                                       FtpFindData *findData, uint32_t flags,
                                                       uintptr_t context) {
    FakeCall &call = Begin("FtpFindFirstFile", connect);
    call.texts = {Text(searchPattern)};
    call.flags = flags;
    call.context = context;
    if (!ConnectRequest(call, connect, searchPattern)) return nullptr;
    FakeListing listing = defaultListing;
    if (!listings.empty()) {
        listing = std::move(listings.front());
        listings.pop_front();
    }
    if (listing.entries.empty()) {
        Fail(call, ERROR_NO_MORE_FILES);
        return nullptr;
    }
    InternetHandle find = Make(call, HandleKind::Find, connect, context);
    *findData = listing.entries.front();
    handles_[find].listing = std::move(listing);
    handles_[find].nextEntry = 1;
    return find;
}

bool FakeFtpClientServices::InternetFindNextFile(InternetHandle find, FtpFindData *findData) {
    FakeCall &call = Begin("InternetFindNextFile", find);
    if (!IsOpen(find, HandleKind::Find)) return Fail(call, ERROR_INVALID_HANDLE);
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        return Fail(call, outcome->error);
    }
    Handle &state = handles_[find];
    if (state.nextEntry >= state.listing.entries.size()) {
        return Fail(call, state.listing.endError);
    }
    *findData = state.listing.entries[state.nextEntry++];
    return Succeed(call);
}

bool FakeFtpClientServices::FtpSetCurrentDirectory(InternetHandle connect,
                                                   const WideChar *directory) {
    FakeCall &call = Begin("FtpSetCurrentDirectory", connect);
    call.texts = {Text(directory)};
    if (!ConnectRequest(call, connect, directory)) return false;
    return Succeed(call);
}

bool FakeFtpClientServices::FtpCreateDirectory(InternetHandle connect, const WideChar *directory) {
    FakeCall &call = Begin("FtpCreateDirectory", connect);
    call.texts = {Text(directory)};
    if (!ConnectRequest(call, connect, directory)) return false;
    return Succeed(call);
}

bool FakeFtpClientServices::FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                                   uint32_t *length) {
    FakeCall &call = Begin("FtpGetCurrentDirectory", connect);
    call.number = length != nullptr ? *length : 0;
    if (!ConnectRequest(call, connect, nullptr)) return false;
    std::string answer = currentDirectory;
    if (!directoryAnswers.empty()) {
        answer = std::move(directoryAnswers.front());
        directoryAnswers.pop_front();
    }
    call.texts = {answer};
    const WideString wide = WideFromUtf8(answer);
    if (directory == nullptr || length == nullptr || *length <= wide.size()) {
        return Fail(call, ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(wide.begin(), wide.end(), directory);
    directory[wide.size()] = 0;
    *length = static_cast<uint32_t>(wide.size() + 1);
    return Succeed(call);
}

bool FakeFtpClientServices::FtpCommand(InternetHandle connect, bool expectResponse,
                                       uint32_t flags, const WideChar *command, uintptr_t context,
                                       InternetHandle *commandHandle) {
    FakeCall &call = Begin("FtpCommand", connect);
    call.texts = {Text(command)};
    call.number = expectResponse ? 1 : 0;
    call.flags = flags;
    call.context = context;
    if (commandHandle != nullptr) *commandHandle = nullptr;
    if (!ConnectRequest(call, connect, command)) return false;
    if (!commandReplies.empty()) {
        lastResponse = std::move(commandReplies.front());
        commandReplies.pop_front();
    }
    return Succeed(call);
}

bool FakeFtpClientServices::InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer,
                                                        uint32_t *length) {
    FakeCall &call = Begin("InternetGetLastResponseInfo", nullptr);
    call.number = length != nullptr ? *length : 0;
    call.texts = {lastResponse};
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        return Fail(call, outcome->error);
    }
    const WideString wide = WideFromUtf8(lastResponse);
    if (length == nullptr || buffer == nullptr || *length <= wide.size()) {
        if (length != nullptr) *length = static_cast<uint32_t>(wide.size() + 1);
        return Fail(call, ERROR_INSUFFICIENT_BUFFER);
    }
    if (error != nullptr) *error = lastResponseError;
    std::copy(wide.begin(), wide.end(), buffer);
    buffer[wide.size()] = 0;
    *length = static_cast<uint32_t>(wide.size() + 1);
    return Succeed(call);
}

InternetHandle FakeFtpClientServices::FtpOpenFile(InternetHandle connect,
                                                  const WideChar *fileName, uint32_t access,
                                                  uint32_t flags, uintptr_t context) {
    FakeCall &call = Begin("FtpOpenFile", connect);
    call.texts = {Text(fileName)};
    call.number = access;
    call.flags = flags;
    call.context = context;
    if (!openReplies.empty()) {
        lastResponse = std::move(openReplies.front());
        openReplies.pop_front();
    }
    if (!ConnectRequest(call, connect, fileName)) return nullptr;
    return Make(call, HandleKind::File, connect, context);
}

uint32_t FakeFtpClientServices::FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) {
    FakeCall &call = Begin("FtpGetFileSize", file);
    if (!IsOpen(file, HandleKind::File) || fileSizeFails) {
        Fail(call, ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = fileSize;
    if (!fileSizes.empty()) {
        size = fileSizes.front();
        fileSizes.pop_front();
    }
    if (sizeHigh != nullptr) *sizeHigh = static_cast<uint32_t>(size >> 32);
    Succeed(call);
    return static_cast<uint32_t>(size);
}

bool FakeFtpClientServices::InternetReadFile(InternetHandle file, void *buffer,
                                             uint32_t bytesToRead, uint32_t *bytesRead) {
    FakeCall &call = Begin("InternetReadFile", file);
    call.number = bytesToRead;
    if (bytesRead != nullptr) *bytesRead = 0;
    if (!IsOpen(file, HandleKind::File)) return Fail(call, ERROR_INVALID_HANDLE);
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        return Fail(call, outcome->error);
    }
    if (reads.empty()) return Succeed(call);
    FakeRead &next = reads.front();
    if (next.kind == FakeRead::Kind::Failure) {
        const uint32_t error = next.error;
        reads.pop_front();
        return Fail(call, error);
    }
    const std::size_t count = std::min<std::size_t>(next.bytes.size(), bytesToRead);
    if (count > 0) std::memcpy(buffer, next.bytes.data(), count);
    if (bytesRead != nullptr) *bytesRead = static_cast<uint32_t>(count);
    next.bytes.erase(0, count);
    if (next.bytes.empty()) reads.pop_front();
    return Succeed(call);
}

bool FakeFtpClientServices::InternetWriteFile(InternetHandle file, const void *buffer,
                                              uint32_t bytesToWrite, uint32_t *bytesWritten) {
    FakeCall &call = Begin("InternetWriteFile", file);
    call.number = bytesToWrite;
    if (bytesWritten != nullptr) *bytesWritten = 0;
    if (!IsOpen(file, HandleKind::File)) return Fail(call, ERROR_INVALID_HANDLE);
    FakeWrite answer;
    if (!writes.empty()) {
        answer = writes.front();
        writes.pop_front();
    }
    storeCut_ = answer.fail && (answer.error == 12030 || answer.error == 12031);
    if (answer.fail) return Fail(call, answer.error);
    const uint32_t taken = std::min(answer.taken.value_or(bytesToWrite), bytesToWrite);
    written.append(static_cast<const char *>(buffer), taken);
    if (bytesWritten != nullptr) *bytesWritten = taken;
    return Succeed(call);
}

bool FakeFtpClientServices::FtpDeleteFile(InternetHandle connect, const WideChar *fileName) {
    FakeCall &call = Begin("FtpDeleteFile", connect);
    call.texts = {Text(fileName)};
    if (!ConnectRequest(call, connect, fileName)) return false;
    return Succeed(call);
}

bool FakeFtpClientServices::InternetCloseHandle(InternetHandle handle) {
    FakeCall &call = Begin("InternetCloseHandle", handle);
    const auto found = handles_.find(handle);
    if (found == handles_.end()) {
        problems.push_back("close of a handle that was never made");
        return Fail(call, ERROR_INVALID_HANDLE);
    }
    if (found->second.state == HandleState::Closed) {
        problems.push_back("close of a handle closed before");
        return Fail(call, ERROR_INVALID_HANDLE);
    }
    const bool orphaned = found->second.state == HandleState::Orphaned;
    found->second.state = HandleState::Closed;
    if (orphaned) return Fail(call, ERROR_INVALID_HANDLE);
    Orphan(handle);
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) {
        return Fail(call, outcome->error);
    }
    return Succeed(call);
}

bool FakeFtpClientServices::InternetQueryOption(InternetHandle handle, uint32_t option, void *buffer,
                                                uint32_t *length) {
    FakeCall &call = Begin("InternetQueryOption", handle);
    call.number = option;
    // A client that reconnects says to send a store again that the connection cut.
    if (option == SAPI_OPTION_FTP_SEND_AGAIN && IsOpen(handle, HandleKind::Connect) && buffer && length) {
        const uint32_t again = reconnects_ && std::exchange(storeCut_, false) ? 1 : 0;
        std::memcpy(buffer, &again, sizeof again);
        return Succeed(call);
    }
    if (!IsOpen(handle, HandleKind::File)) return Fail(call, ERROR_INVALID_HANDLE);
    if (auto outcome = NextOutcome(call.name); outcome && outcome->fail) return Fail(call, outcome->error);
    if (option != TransferConfirmedOption) return Fail(call, ERROR_INTERNET_INVALID_OPTION);
    if (buffer == nullptr || length == nullptr || *length < sizeof(uint32_t)) {
        return Fail(call, ERROR_INSUFFICIENT_BUFFER);
    }
    const uint32_t confirmed = confirmsEnd && reads.empty() ? 1 : 0;
    std::memcpy(buffer, &confirmed, sizeof confirmed);
    *length = sizeof confirmed;
    return Succeed(call);
}

uint32_t FakeFtpClientServices::GetLastError() { return lastError_; }

}  // namespace sapi::testing
