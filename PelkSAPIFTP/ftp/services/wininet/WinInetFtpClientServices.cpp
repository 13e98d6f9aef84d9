#include "ftp/services/wininet/WinInetFtpClientServices.h"

#include "ftp/services/wininet/WinInetApi.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

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

InternetHandle WinInetFtpClientServices::InternetOpen(const WideChar *agent, uint32_t accessType,
                                                      const WideChar *proxy,
                                                      const WideChar *proxyBypass, uint32_t flags) {
    return InternetOpenW(agent, accessType, proxy, proxyBypass, flags);
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
    return InternetConnectW(internet, serverName, port, userName, password, service, flags,
                            context);
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
    return InternetSetOptionW(handle, option, const_cast<void *>(buffer), length) != FALSE;
}

InternetStatusCallback WinInetFtpClientServices::InternetSetStatusCallback(
    InternetHandle handle, InternetStatusCallback callback) {
    // Same arguments, same convention (__stdcall); uint32_t and DWORD differ
    // only in name on this target.
    const auto previous = InternetSetStatusCallbackW(
        handle, reinterpret_cast<INTERNET_STATUS_CALLBACK>(callback));
    return reinterpret_cast<InternetStatusCallback>(previous);
}

InternetHandle WinInetFtpClientServices::FtpFindFirstFile(InternetHandle connect,
                                                          const WideChar *searchPattern,
                                                          FtpFindData *findData, uint32_t flags,
                                                          uintptr_t context) {
    if (!AcceptControlText(searchPattern)) {
        return nullptr;
    }
    WIN32_FIND_DATAW record{};
    HINTERNET find = FtpFindFirstFileW(connect, searchPattern, &record, flags, context);
    if (find != nullptr && findData != nullptr) {
        CopyFindData(record, findData);
    }
    return find;
}

bool WinInetFtpClientServices::InternetFindNextFile(InternetHandle find, FtpFindData *findData) {
    WIN32_FIND_DATAW record{};
    if (InternetFindNextFileW(find, &record) == FALSE) {
        return false;
    }
    if (findData != nullptr) {
        CopyFindData(record, findData);
    }
    return true;
}

bool WinInetFtpClientServices::FtpSetCurrentDirectory(InternetHandle connect,
                                                      const WideChar *directory) {
    return AcceptControlText(directory) && FtpSetCurrentDirectoryW(connect, directory) != FALSE;
}

bool WinInetFtpClientServices::FtpCreateDirectory(InternetHandle connect,
                                                  const WideChar *directory) {
    return AcceptControlText(directory) && FtpCreateDirectoryW(connect, directory) != FALSE;
}

bool WinInetFtpClientServices::FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                                      uint32_t *length) {
    DWORD capacity = length != nullptr ? *length : 0;
    const bool done = FtpGetCurrentDirectoryW(connect, directory, length != nullptr ? &capacity
                                                                                  : nullptr) != FALSE;
    if (length != nullptr) {
        *length = capacity;
    }
    return done;
}

bool WinInetFtpClientServices::FtpCommand(InternetHandle connect, bool expectResponse,
                                          uint32_t flags, const WideChar *command,
                                          uintptr_t context, InternetHandle *commandHandle) {
    if (!AcceptControlText(command)) {
        return false;
    }
    return FtpCommandW(connect, expectResponse ? TRUE : FALSE, flags, command, context,
                       commandHandle) != FALSE;
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
    if (!AcceptControlText(fileName)) {
        return nullptr;
    }
    HINTERNET file = FtpOpenFileW(connect, fileName, access, flags, context);
    if (file == nullptr) {
        return file;
    }
    return RememberFile(file, (access & GENERIC_WRITE) != 0 ? OpenFile::Store : OpenFile::Retrieval);
}

uint32_t WinInetFtpClientServices::FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) {
    DWORD high = 0;
    // A success leaves the last error alone, and a size whose low word is
    // 0xFFFFFFFF (4 GiB - 1, 8 GiB - 1, ...) is told from a failure only by it:
    // whatever an earlier call left there (a retried open's 12110) must go.
    ::SetLastError(ERROR_SUCCESS);
    const DWORD low = ::FtpGetFileSize(file, &high);
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
    const auto found = openFiles_.find(file);
    // Handles not tracked here (finds) pass straight through, as stores do.
    const OpenFile kind = found != openFiles_.end() ? found->second : OpenFile::Store;
    if (kind == OpenFile::ConfirmedRetrieval) {
        return true;  // every read after the end is empty, as WinInet's are
    }
    if (kind == OpenFile::FailedRetrieval) {
        ::SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
        return false;
    }
    DWORD count = 0;
    const bool done = ::InternetReadFile(file, buffer, bytesToRead, &count) != FALSE;
    if (bytesRead != nullptr) {
        *bytesRead = count;
    }
    if (done && count == 0 && bytesToRead > 0 && kind == OpenFile::Retrieval) {
        return EndRetrieval(file);
    }
    return done;
}

bool WinInetFtpClientServices::InternetWriteFile(InternetHandle file, const void *buffer,
                                                 uint32_t bytesToWrite, uint32_t *bytesWritten) {
    DWORD count = 0;
    const bool done = ::InternetWriteFile(file, buffer, bytesToWrite, &count) != FALSE;
    if (bytesWritten != nullptr) {
        *bytesWritten = count;
    }
    return done;
}

bool WinInetFtpClientServices::FtpDeleteFile(InternetHandle connect, const WideChar *fileName) {
    return AcceptControlText(fileName) && FtpDeleteFileW(connect, fileName) != FALSE;
}

bool WinInetFtpClientServices::InternetCloseHandle(InternetHandle handle) {
    const auto found = handle != nullptr ? openFiles_.find(handle) : openFiles_.end();
    if (found == openFiles_.end()) {
        return ::InternetCloseHandle(handle) != FALSE;
    }
    const OpenFile kind = found->second;
    if (kind == OpenFile::Store) {
        return CloseStore(handle);
    }
    openFiles_.erase(found);
    if (kind == OpenFile::Retrieval) {
        // Closed before its end: the server's "426" is the answer to our own
        // early close, not a verdict on anything.
        return ::InternetCloseHandle(handle) != FALSE;
    }
    return true;  // WinInet's handle went when the end was read
}

bool WinInetFtpClientServices::InternetQueryOption(InternetHandle handle, uint32_t option,
                                                   void *buffer, uint32_t *length) {
    if (option != TransferConfirmedOption) {
        DWORD size = length != nullptr ? *length : 0;
        const bool done =
            InternetQueryOptionW(handle, option, buffer, length != nullptr ? &size : nullptr) != FALSE;
        if (length != nullptr) {
            *length = size;
        }
        return done;
    }
    const auto found = openFiles_.find(handle);
    if (found == openFiles_.end() || found->second == OpenFile::Store) {
        ::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return false;
    }
    const uint32_t confirmed = found->second == OpenFile::ConfirmedRetrieval ? 1 : 0;
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

InternetHandle WinInetFtpClientServices::RememberFile(InternetHandle file, OpenFile kind) {
    try {
        const LastErrorKeeper keepError;
        // A value WinInet hands out again after the end of a retrieval names
        // the new file from now on.
        openFiles_.insert_or_assign(file, kind);
        return file;
    } catch (const std::bad_alloc &) {
        // Untracked, its close could not be judged: give the handle up now.
        ::InternetCloseHandle(file);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// WinInet reads the server's reply to the end of the data while it closes the
// handle ("226 Transfer complete."); a store counts as done only on a 2xx.
// Wine's close itself fails on "426 ..." but leaves last error 0; the reply
// decides here, so the caller always gets ERROR_INTERNET_EXTENDED_ERROR for it.
bool WinInetFtpClientServices::CloseStore(InternetHandle file) {
    openFiles_.erase(file);
    const bool closed = ::InternetCloseHandle(file) != FALSE;
    bool confirmed = false;
    {
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
    ::InternetCloseHandle(file);
    const bool confirmed = LastReplyIsPositiveCompletion();
    openFiles_[file] = confirmed ? OpenFile::ConfirmedRetrieval : OpenFile::FailedRetrieval;
    ::SetLastError(confirmed ? ERROR_SUCCESS : ERROR_INTERNET_EXTENDED_ERROR);
    return confirmed;
}

}  // namespace sapi
