#include "ftp/services/wininet/WinInetFtpClientServices.h"

#include "ftp/services/wininet/WinInetApi.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "ftp/services/TlsOptions.h"
#include "ftp/services/wininet/ControlText.h"
#include "ftp/services/wininet/LastReply.h"

namespace sapi {

namespace {

static_assert(sizeof(InternetHandle) == sizeof(HINTERNET));
static_assert(sizeof(uintptr_t) == sizeof(DWORD_PTR));
static_assert(std::size(FtpFindData{}.fileName) == MAX_PATH);

void CopyFindData(const WIN32_FIND_DATAW &record, FtpFindData *findData) {
    findData->fileAttributes = record.dwFileAttributes;
    findData->fileSizeHigh = record.nFileSizeHigh;
    findData->fileSizeLow = record.nFileSizeLow;
    std::copy(std::begin(record.cFileName), std::end(record.cFileName), findData->fileName);
    // WinInet terminates the name; a record that came back without one must
    // not let a reader run past the array.
    findData->fileName[MAX_PATH - 1] = 0;
}

// Runs bookkeeping after a WinInet call without losing the error it left.
class LastErrorKeeper {
public:
    LastErrorKeeper() : error_(::GetLastError()) {}
    ~LastErrorKeeper() { ::SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper &) = delete;
    LastErrorKeeper &operator=(const LastErrorKeeper &) = delete;

private:
    DWORD error_;
};

}  // namespace

// WinInet's handle behind one of ours; null, with ERROR_INVALID_HANDLE, for a
// handle that is not ours or whose WinInet handle is gone. A null handle stays
// null: WinInet's own meaning for it (a process-wide option) is kept.
HINTERNET WinInetFtpClientServices::Live(InternetHandle handle) const {
    if (handle == nullptr) return nullptr;
    WinInetHandleEntry entry;
    if (!handles_.Find(handle, entry) || entry.wininet == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<HINTERNET>(entry.wininet);
}

// Ours for a handle WinInet just gave; without memory for it, WinInet's goes.
InternetHandle WinInetFtpClientServices::Adopt(HINTERNET wininet, InternetHandle parent, WinInetHandleKind kind) {
    if (wininet == nullptr) return nullptr;
    const LastErrorKeeper keepError;
    const InternetHandle handle = handles_.Add(wininet, parent, kind);
    if (handle == nullptr) {
        ::InternetCloseHandle(wininet);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return handle;
}

InternetHandle WinInetFtpClientServices::InternetOpen(const WideChar *agent, uint32_t accessType,
                                                      const WideChar *proxy,
                                                      const WideChar *proxyBypass, uint32_t flags) {
    return Adopt(InternetOpenW(agent, accessType, proxy, proxyBypass, flags), nullptr, WinInetHandleKind::Other);
}

InternetHandle WinInetFtpClientServices::InternetConnect(InternetHandle internet,
                                                         const WideChar *serverName, uint16_t port,
                                                         const WideChar *userName,
                                                         const WideChar *password, uint32_t service,
                                                         uint32_t flags, uintptr_t context) {
    // USER and PASS go out as commands.
    if (!AcceptControlText(userName) || !AcceptControlText(password)) {
        return nullptr;
    }
    const HINTERNET root = Live(internet);
    if (root == nullptr) return nullptr;
    return Adopt(InternetConnectW(root, serverName, port, userName, password, service, flags, context), internet,
                 WinInetHandleKind::Other);
}

// WinInet's FTP has no TLS: our FTPS options are refused here, before WinInet
// could take the number for one of its own.
bool WinInetFtpClientServices::InternetSetOption(InternetHandle handle, uint32_t option,
                                                 const void *buffer, uint32_t length) {
    // Ours alone: WinInet has no FTPS and asks servers for no digests.
    if (option == SAPI_OPTION_FTP_TLS_MODE || option == SAPI_OPTION_FTP_TLS_CA_FILE ||
        option == SAPI_OPTION_FTP_TLS_FINGERPRINT || option == SAPI_OPTION_FTP_VERIFY_HASH) {
        ::SetLastError(ERROR_INTERNET_INVALID_OPTION);
        return false;
    }
    const HINTERNET wininet = Live(handle);
    if (handle != nullptr && wininet == nullptr) return false;
    return InternetSetOptionW(wininet, option, const_cast<void *>(buffer), length) != FALSE;
}

InternetStatusCallback WinInetFtpClientServices::InternetSetStatusCallback(
    InternetHandle handle, InternetStatusCallback callback) {
    // Same arguments, same convention (__stdcall); uint32_t and DWORD differ
    // only in name on this target.
    const HINTERNET wininet = Live(handle);
    if (wininet == nullptr) return INTERNET_INVALID_STATUS_CALLBACK;
    const auto previous = InternetSetStatusCallbackW(
        wininet, reinterpret_cast<INTERNET_STATUS_CALLBACK>(callback));
    return reinterpret_cast<InternetStatusCallback>(previous);
}

InternetHandle WinInetFtpClientServices::FtpFindFirstFile(InternetHandle connect,
                                                          const WideChar *searchPattern,
                                                          FtpFindData *findData, uint32_t flags,
                                                          uintptr_t context) {
    if (!AcceptControlText(searchPattern)) {
        return nullptr;
    }
    const HINTERNET session = Live(connect);
    if (session == nullptr) return nullptr;
    WIN32_FIND_DATAW record{};
    const InternetHandle find =
        Adopt(FtpFindFirstFileW(session, searchPattern, &record, flags, context), connect, WinInetHandleKind::Other);
    if (find != nullptr && findData != nullptr) {
        CopyFindData(record, findData);
    }
    return find;
}

bool WinInetFtpClientServices::InternetFindNextFile(InternetHandle find, FtpFindData *findData) {
    WIN32_FIND_DATAW record{};
    const HINTERNET wininet = Live(find);
    if (wininet == nullptr || InternetFindNextFileW(wininet, &record) == FALSE) {
        return false;
    }
    if (findData != nullptr) {
        CopyFindData(record, findData);
    }
    return true;
}

bool WinInetFtpClientServices::FtpSetCurrentDirectory(InternetHandle connect,
                                                      const WideChar *directory) {
    const HINTERNET session = AcceptControlText(directory) ? Live(connect) : nullptr;
    return session != nullptr && FtpSetCurrentDirectoryW(session, directory) != FALSE;
}

bool WinInetFtpClientServices::FtpCreateDirectory(InternetHandle connect,
                                                  const WideChar *directory) {
    const HINTERNET session = AcceptControlText(directory) ? Live(connect) : nullptr;
    return session != nullptr && FtpCreateDirectoryW(session, directory) != FALSE;
}

bool WinInetFtpClientServices::FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                                      uint32_t *length) {
    const HINTERNET session = Live(connect);
    if (session == nullptr) return false;
    DWORD capacity = length != nullptr ? *length : 0;
    const bool done = FtpGetCurrentDirectoryW(session, directory, length != nullptr ? &capacity
                                                                                  : nullptr) != FALSE;
    if (length != nullptr) {
        *length = capacity;
    }
    return done;
}

bool WinInetFtpClientServices::FtpCommand(InternetHandle connect, bool expectResponse,
                                          uint32_t flags, const WideChar *command,
                                          uintptr_t context, InternetHandle *commandHandle) {
    const HINTERNET session = AcceptControlText(command) ? Live(connect) : nullptr;
    if (session == nullptr) return false;
    HINTERNET data = nullptr;
    const bool done = FtpCommandW(session, expectResponse ? TRUE : FALSE, flags, command, context,
                                  commandHandle != nullptr ? &data : nullptr) != FALSE;
    if (commandHandle != nullptr) *commandHandle = Adopt(data, connect, WinInetHandleKind::Other);
    return done;
}

bool WinInetFtpClientServices::InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer,
                                                           uint32_t *length) {
    DWORD replyError = error != nullptr ? *error : 0;
    DWORD capacity = length != nullptr ? *length : 0;
    const bool done = InternetGetLastResponseInfoW(&replyError, buffer, &capacity) != FALSE;
    if (error != nullptr) {
        *error = replyError;
    }
    if (length != nullptr) {
        *length = capacity;
    }
    return done;
}

InternetHandle WinInetFtpClientServices::FtpOpenFile(InternetHandle connect,
                                                     const WideChar *fileName, uint32_t access,
                                                     uint32_t flags, uintptr_t context) {
    const HINTERNET session = AcceptControlText(fileName) ? Live(connect) : nullptr;
    if (session == nullptr) return nullptr;
    return Adopt(FtpOpenFileW(session, fileName, access, flags, context), connect,
                 (access & GENERIC_WRITE) != 0 ? WinInetHandleKind::Store : WinInetHandleKind::Retrieval);
}

uint32_t WinInetFtpClientServices::FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) {
    const HINTERNET wininet = Live(file);
    if (wininet == nullptr) return INVALID_FILE_SIZE;
    DWORD high = 0;
    // A success leaves the last error alone, and a size whose low word is
    // 0xFFFFFFFF (4 GiB - 1, 8 GiB - 1, ...) is told from a failure only by it:
    // whatever an earlier call left there (a retried open's 12110) must go.
    ::SetLastError(ERROR_SUCCESS);
    const DWORD low = ::FtpGetFileSize(wininet, &high);
    if (sizeHigh != nullptr) {
        *sizeHigh = high;
    }
    return low;
}

bool WinInetFtpClientServices::InternetReadFile(InternetHandle file, void *buffer,
                                                uint32_t bytesToRead, uint32_t *bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    WinInetHandleEntry entry;
    if (!handles_.Find(file, entry)) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (entry.kind == WinInetHandleKind::ConfirmedRetrieval) {
        return true;  // every read after the end is empty, as WinInet's are
    }
    if (entry.kind == WinInetHandleKind::FailedRetrieval) {
        ::SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
        return false;
    }
    if (entry.wininet == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);  // its connection was closed
        return false;
    }
    DWORD count = 0;
    const bool done = ::InternetReadFile(static_cast<HINTERNET>(entry.wininet), buffer, bytesToRead, &count) != FALSE;
    if (bytesRead != nullptr) {
        *bytesRead = count;
    }
    if (done && count == 0 && bytesToRead > 0 && entry.kind == WinInetHandleKind::Retrieval) {
        return EndRetrieval(file);
    }
    return done;
}

bool WinInetFtpClientServices::InternetWriteFile(InternetHandle file, const void *buffer,
                                                 uint32_t bytesToWrite, uint32_t *bytesWritten) {
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    const HINTERNET wininet = Live(file);
    DWORD count = 0;
    const bool done = wininet != nullptr && ::InternetWriteFile(wininet, buffer, bytesToWrite, &count) != FALSE;
    if (bytesWritten != nullptr) {
        *bytesWritten = count;
    }
    return done;
}

bool WinInetFtpClientServices::FtpDeleteFile(InternetHandle connect, const WideChar *fileName) {
    const HINTERNET session = AcceptControlText(fileName) ? Live(connect) : nullptr;
    return session != nullptr && FtpDeleteFileW(session, fileName) != FALSE;
}

bool WinInetFtpClientServices::InternetCloseHandle(InternetHandle handle) {
    WinInetHandleEntry entry;
    const HINTERNET wininet = static_cast<HINTERNET>(handles_.Remove(handle, entry));
    switch (entry.kind) {
    case WinInetHandleKind::Store:
        return CloseStore(wininet);
    case WinInetHandleKind::ConfirmedRetrieval:
    case WinInetHandleKind::FailedRetrieval:
        return true;  // WinInet's handle went when the end was read
    case WinInetHandleKind::Retrieval:  // closed before its end: the server's "426"
    case WinInetHandleKind::Other:      // answers our own early close, not a verdict
        break;
    }
    if (wininet == nullptr) {
        // Not ours, or gone with a closed connection: nothing left to close.
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ::InternetCloseHandle(wininet) != FALSE;
}

bool WinInetFtpClientServices::InternetQueryOption(InternetHandle handle, uint32_t option,
                                                   void *buffer, uint32_t *length) {
    if (option != TransferConfirmedOption) {
        const HINTERNET wininet = Live(handle);
        if (handle != nullptr && wininet == nullptr) return false;
        DWORD size = length != nullptr ? *length : 0;
        const bool done =
            InternetQueryOptionW(wininet, option, buffer, length != nullptr ? &size : nullptr) != FALSE;
        if (length != nullptr) {
            *length = size;
        }
        return done;
    }
    WinInetHandleEntry entry;
    if (!handles_.Find(handle, entry) || entry.kind == WinInetHandleKind::Store ||
        entry.kind == WinInetHandleKind::Other) {
        ::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return false;
    }
    const uint32_t confirmed = entry.kind == WinInetHandleKind::ConfirmedRetrieval ? 1 : 0;
    if (buffer == nullptr || length == nullptr || *length < sizeof confirmed) {
        if (length != nullptr) {
            *length = sizeof confirmed;
        }
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::memcpy(buffer, &confirmed, sizeof confirmed);
    *length = sizeof confirmed;
    return true;
}

uint32_t WinInetFtpClientServices::GetLastError() { return ::GetLastError(); }

// WinInet reads the server's reply to the end of the data while it closes the
// handle ("226 Transfer complete."); a store counts as done only on a 2xx.
// Wine's close itself fails on "426 ..." but leaves last error 0; the reply
// decides here, so the caller always gets ERROR_INTERNET_EXTENDED_ERROR for it.
// A store whose connection was closed meanwhile has no reply of its own.
bool WinInetFtpClientServices::CloseStore(HINTERNET file) {
    const bool closed = file != nullptr && ::InternetCloseHandle(file) != FALSE;
    bool confirmed = false;
    if (file != nullptr) {
        const LastErrorKeeper keepError;
        confirmed = LastReplyIsPositiveCompletion();
    }
    if (!confirmed) {
        ::SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
        return false;
    }
    return closed;
}

// WinInet reads the server's reply to the end of a retrieval only while it
// closes the handle, and reports the end of the data as a successful empty
// read whether the file came whole or the server gave up on it ("426
// Transfer aborted"). So the read that meets the end closes WinInet's handle
// at once and lets the reply decide; the caller's handle stays usable (empty
// reads) until the caller closes it.
bool WinInetFtpClientServices::EndRetrieval(InternetHandle file) {
    const HINTERNET wininet = static_cast<HINTERNET>(handles_.TakeForEnd(file));
    bool confirmed = false;
    if (wininet != nullptr) {
        ::InternetCloseHandle(wininet);
        confirmed = LastReplyIsPositiveCompletion();
    }
    handles_.EndRetrieval(file, confirmed);
    ::SetLastError(confirmed ? ERROR_SUCCESS : ERROR_INTERNET_EXTENDED_ERROR);
    return confirmed;
}

}  // namespace sapi
