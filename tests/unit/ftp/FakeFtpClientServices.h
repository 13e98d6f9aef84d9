// A scripted, in-process stand-in for the FTP client services. It records
// every call in order, answers from scripts the test sets up (or succeeds with
// sensible defaults), and keeps track of which handles are open so that a test
// can check that children are closed before their parents and nothing twice.
//
// It also behaves as the real services do where the plug-in relies on it:
//  - a call on a null, unknown or closed handle fails with ERROR_INVALID_HANDLE;
//  - closing a parent orphans its open children (later calls on them fail);
//  - while a file handle is open on a connect handle, every other request on
//    that connect handle fails with ERROR_FTP_TRANSFER_IN_PROGRESS (12110);
//  - a text argument holding CR or LF is refused with ERROR_INVALID_PARAMETER
//    (87) before anything would go to a server.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ftp/services/FtpClientServices.h"

namespace sapi::testing {

// One call as the plug-in made it. Texts are UTF-8 copies (nullopt for a null
// pointer), in argument order.
struct FakeCall {
    std::string name;                            // "InternetOpen", "FtpFindFirstFile", ...
    InternetHandle handle = nullptr;             // the handle argument (the parent for opens)
    std::vector<std::optional<std::string>> texts;
    uint32_t flags = 0;
    // The call's other number: access type (InternetOpen), service (InternetConnect),
    // access (FtpOpenFile), expectResponse (FtpCommand), bytes asked
    // (InternetReadFile, InternetWriteFile), option (InternetQueryOption), capacity (FtpGetCurrentDirectory,
    // InternetGetLastResponseInfo).
    uint32_t number = 0;
    uint16_t port = 0;
    uintptr_t context = 0;
    InternetHandle result = nullptr;             // the handle made, if any
    bool succeeded = true;
    uint32_t error = 0;                          // GetLastError after the call (0 on success)
};

// How one scripted call ends. A default outcome succeeds.
struct FakeOutcome {
    bool fail = false;
    uint32_t error = 0;
    static FakeOutcome Success() { return {}; }
    static FakeOutcome Failure(uint32_t error) { return {true, error}; }
};

// One listing that FtpFindFirstFile hands out: the records in order, then the
// error with which InternetFindNextFile ends it (ERROR_NO_MORE_FILES normally;
// anything else is a listing that broke off midway). An empty listing makes
// FtpFindFirstFile fail with ERROR_NO_MORE_FILES.
struct FakeListing {
    std::vector<FtpFindData> entries;
    uint32_t endError = 18;
};
FtpFindData FakeFolder(std::string_view name);
FtpFindData FakeFile(std::string_view name, uint64_t size = 0);

// One answer of InternetReadFile: some bytes, the end of the file (0 bytes,
// success), or a failure.
struct FakeRead {
    enum class Kind { Bytes, End, Failure } kind = Kind::End;
    std::string bytes;
    uint32_t error = 0;
    static FakeRead Data(std::string bytes) { return {Kind::Bytes, std::move(bytes), 0}; }
    static FakeRead Zero() { return {Kind::End, {}, 0}; }
    static FakeRead Failure(uint32_t error) { return {Kind::Failure, {}, error}; }
};

// One answer of InternetWriteFile: takes `taken` bytes (all when unset), or fails.
struct FakeWrite {
    std::optional<uint32_t> taken;
    bool fail = false;
    uint32_t error = 0;
    static FakeWrite All() { return {}; }
    static FakeWrite Partial(uint32_t count) { return {count, false, 0}; }
    static FakeWrite Failure(uint32_t error) { return {std::nullopt, true, error}; }
};

class FakeFtpClientServices : public FtpClientServices {
public:
    enum class HandleKind { Internet, Connect, Find, File };
    enum class HandleState { Open, Closed, Orphaned };

    // ---- scripts ---------------------------------------------------------
    // Outcomes per call name, taken one per call; an empty queue succeeds.
    // Works for every call; for FtpFindFirstFile and InternetReadFile a scripted
    // failure comes before the listing or read queue is consulted.
    void Script(const std::string &call, FakeOutcome outcome);
    void ScriptFailures(const std::string &call, uint32_t error, int times);
    // Drops what is still scripted for `call`.
    void Unscript(const std::string &call);
    // FtpFindFirstFile takes the next listing; when none is queued it hands out
    // `defaultListing`.
    std::deque<FakeListing> listings;
    FakeListing defaultListing;
    // FtpGetCurrentDirectory answers the next of `directoryAnswers`, then
    // `currentDirectory`. Too small a capacity fails with 122, as WinInet does.
    std::deque<std::string> directoryAnswers;
    std::string currentDirectory = "/";
    // The server's last reply, as InternetGetLastResponseInfo hands it out.
    // Each FtpCommand (and FtpOpenFile) takes the next of `replies`, if any, as
    // the new last reply, whether it succeeds or not.
    std::string lastResponse;
    uint32_t lastResponseError = 0;
    std::deque<std::string> commandReplies;
    std::deque<std::string> openReplies;
    // FtpGetFileSize: the next pair of halves, then `fileSize`.
    std::deque<uint64_t> fileSizes;
    uint64_t fileSize = 0;
    bool fileSizeFails = false;  // answers INVALID_FILE_SIZE with error 6
    // InternetReadFile: one answer per call, then the end of the file.
    std::deque<FakeRead> reads;
    // InternetQueryOption of TransferConfirmedOption on a file handle: 1 once
    // the scripted reads are used up (the end, as our own client confirms it)
    // when `confirmsEnd`, 0 otherwise. Script a failure to play WinInet.
    bool confirmsEnd = true;
    // InternetWriteFile: one answer per call, then all bytes taken.
    std::deque<FakeWrite> writes;
    // InternetSetStatusCallback returns this, as if a callback had been set before.
    InternetStatusCallback previousCallback = nullptr;
    // Model WinInet's one-transfer-per-connection rule (on by default).
    bool refuseWhileFileOpen = true;

    // A hook run at the `occurrence`-th call (1-based) named `call`, before the
    // call does anything: the place for a test to re-enter the module.
    void OnCall(const std::string &call, int occurrence, std::function<void()> hook);

    // ---- what happened ---------------------------------------------------
    std::vector<FakeCall> calls;
    std::vector<std::string> problems;   // closes of closed/unknown handles, parents closed before children
    std::string written;                 // every byte InternetWriteFile took, in order

    std::vector<std::string> CallNames() const;
    std::vector<const FakeCall *> CallsNamed(const std::string &call) const;
    int CountOf(const std::string &call) const;
    std::optional<HandleKind> KindOf(InternetHandle handle) const;
    std::optional<HandleState> StateOf(InternetHandle handle) const;
    int OpenHandleCount() const;
    // Calls the status callback installed on `handle` (or on its parent) with
    // the handle's context, as WinInet does during a request.
    void Notify(InternetHandle handle, uint32_t status);

    // ---- FtpClientServices -------------------------------------------------
    InternetHandle InternetOpen(const WideChar *agent, uint32_t accessType, const WideChar *proxy,
                                const WideChar *proxyBypass, uint32_t flags) override;
    InternetHandle InternetConnect(InternetHandle internet, const WideChar *serverName,
                                   uint16_t port, const WideChar *userName,
                                   const WideChar *password, uint32_t service, uint32_t flags,
                                   uintptr_t context) override;
    InternetStatusCallback InternetSetStatusCallback(InternetHandle handle,
                                                     InternetStatusCallback callback) override;
    // Recorded with the option in `number`; a uint32_t value in `flags`, a text
    // value (length in characters) in `texts`.
    bool InternetSetOption(InternetHandle handle, uint32_t option, const void *buffer,
                           uint32_t length) override;
    InternetHandle FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                    FtpFindData *findData, uint32_t flags,
                                    uintptr_t context) override;
    bool InternetFindNextFile(InternetHandle find, FtpFindData *findData) override;
    bool FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpCreateDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                uint32_t *length) override;
    bool FtpCommand(InternetHandle connect, bool expectResponse, uint32_t flags,
                    const WideChar *command, uintptr_t context,
                    InternetHandle *commandHandle) override;
    bool InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer,
                                     uint32_t *length) override;
    InternetHandle FtpOpenFile(InternetHandle connect, const WideChar *fileName, uint32_t access,
                               uint32_t flags, uintptr_t context) override;
    uint32_t FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) override;
    bool InternetReadFile(InternetHandle file, void *buffer, uint32_t bytesToRead,
                          uint32_t *bytesRead) override;
    bool InternetWriteFile(InternetHandle file, const void *buffer, uint32_t bytesToWrite,
                           uint32_t *bytesWritten) override;
    bool FtpDeleteFile(InternetHandle connect, const WideChar *fileName) override;
    bool InternetCloseHandle(InternetHandle handle) override;
    bool InternetQueryOption(InternetHandle handle, uint32_t option, void *buffer,
                             uint32_t *length) override;
    uint32_t GetLastError() override;

private:
    struct Handle {
        HandleKind kind;
        HandleState state = HandleState::Open;
        InternetHandle parent = nullptr;
        uintptr_t context = 0;
        InternetStatusCallback callback = nullptr;
        FakeListing listing;  // find handles: what is left to hand out
        std::size_t nextEntry = 0;
    };
    struct Hook {
        std::string call;
        int occurrence;
        std::function<void()> run;
    };

    FakeCall &Begin(const std::string &name, InternetHandle handle);
    bool Fail(FakeCall &call, uint32_t error);
    bool Succeed(FakeCall &call);
    InternetHandle Make(FakeCall &call, HandleKind kind, InternetHandle parent, uintptr_t context);
    std::optional<FakeOutcome> NextOutcome(const std::string &call);
    bool reconnects_ = false;  // SAPI_OPTION_FTP_RECONNECT was set
    bool storeCut_ = false;    // the last write failed as on a lost connection
    bool IsOpen(InternetHandle handle, HandleKind kind) const;
    bool FileOpenUnder(InternetHandle connect) const;
    // The checks every request on a connect handle makes; false after failing `call`.
    bool ConnectRequest(FakeCall &call, InternetHandle connect, const WideChar *text);
    void Orphan(InternetHandle parent);
    void RunHooks(const std::string &name);

    std::map<InternetHandle, Handle> handles_;
    std::map<std::string, std::deque<FakeOutcome>> outcomes_;
    std::map<std::string, int> counts_;
    std::vector<Hook> hooks_;
    uintptr_t nextHandle_ = 0x1000;
    uint32_t lastError_ = 0;
};

}  // namespace sapi::testing
