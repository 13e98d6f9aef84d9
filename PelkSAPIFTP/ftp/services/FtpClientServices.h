// The FTP client services the connection code stands on: WinInet's FTP calls,
// with WinInet's arguments and contracts. Handles are opaque; a failed call
// returns null or false and leaves its reason in GetLastError() as one of
// WinInet's error numbers (WinInetConstants.h). On Windows the backend passes
// each call straight to WinInet; elsewhere the plug-in's own FTP client answers.
//
// All calls are synchronous and run on the caller's thread. At most one find or
// file handle is open on a connect handle at a time.
#pragma once

#include <cstdint>

#include "platform/WideText.h"

namespace sapi {

#if defined(_WIN32)
#define SAPI_WINAPI __stdcall
#else
#define SAPI_WINAPI
#endif

using InternetHandle = void *;

// INTERNET_STATUS_CALLBACK: handle, context, status, status information, its length.
using InternetStatusCallback = void(SAPI_WINAPI *)(InternetHandle handle, uintptr_t context,
                                                   uint32_t status, void *information,
                                                   uint32_t informationLength);
// What InternetSetStatusCallbackW returns on failure.
inline const InternetStatusCallback INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<InternetStatusCallback>(static_cast<intptr_t>(-1));

// The fields of WIN32_FIND_DATAW that an FTP listing fills and the plug-in reads.
struct FtpFindData {
    uint32_t fileAttributes = 0;  // FILE_ATTRIBUTE_DIRECTORY (0x10) for folders
    uint32_t fileSizeHigh = 0;
    uint32_t fileSizeLow = 0;
    WideChar fileName[260] = {};  // zero-terminated, at most 259 characters
};

// An option of the plug-in's own, outside WinInet's numbers: a 32-bit value,
// non-zero once the server has confirmed the end of the retrieval on this file
// handle (its 2xx after the data connection closed), after which no read can
// bring more data. Client services that cannot tell fail the query with
// ERROR_INTERNET_INVALID_OPTION, as WinInet does for an option it lacks.
constexpr uint32_t TransferConfirmedOption = 0x53410001;

class FtpClientServices {
public:
    virtual ~FtpClientServices() = default;

    virtual InternetHandle InternetOpen(const WideChar *agent, uint32_t accessType,
                                        const WideChar *proxy, const WideChar *proxyBypass,
                                        uint32_t flags) = 0;
    // Connects and logs in.
    virtual InternetHandle InternetConnect(InternetHandle internet, const WideChar *serverName,
                                           uint16_t port, const WideChar *userName,
                                           const WideChar *password, uint32_t service,
                                           uint32_t flags, uintptr_t context) = 0;
    virtual InternetStatusCallback InternetSetStatusCallback(InternetHandle handle,
                                                             InternetStatusCallback callback) = 0;
    // On a root handle, before InternetConnect: WinInet's own options, and the
    // FTPS options of TlsOptions.h, which only the plug-in's own client takes.
    virtual bool InternetSetOption(InternetHandle handle, uint32_t option, const void *buffer,
                                   uint32_t length) = 0;

    // Null with ERROR_NO_MORE_FILES (18) for an empty folder.
    virtual InternetHandle FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                            FtpFindData *findData, uint32_t flags,
                                            uintptr_t context) = 0;
    virtual bool InternetFindNextFile(InternetHandle find, FtpFindData *findData) = 0;

    virtual bool FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) = 0;
    virtual bool FtpCreateDirectory(InternetHandle connect, const WideChar *directory) = 0;
    // *length: capacity in characters on entry; on success the characters written.
    virtual bool FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                        uint32_t *length) = 0;

    virtual bool FtpCommand(InternetHandle connect, bool expectResponse, uint32_t flags,
                            const WideChar *command, uintptr_t context,
                            InternetHandle *commandHandle) = 0;
    // The last reply of the server on this thread. *length: capacity on entry,
    // characters on return; too small a buffer fails with ERROR_INSUFFICIENT_BUFFER
    // and the needed length.
    virtual bool InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer,
                                             uint32_t *length) = 0;

    // A retrieval (GENERIC_READ) or a store (GENERIC_WRITE).
    virtual InternetHandle FtpOpenFile(InternetHandle connect, const WideChar *fileName,
                                       uint32_t access, uint32_t flags, uintptr_t context) = 0;
    // Low 32 bits returned, high 32 bits through *sizeHigh; INVALID_FILE_SIZE on
    // failure. A real size with that low word leaves GetLastError() at ERROR_SUCCESS.
    virtual uint32_t FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) = 0;
    // Success with 0 bytes only at the confirmed end of the file.
    virtual bool InternetReadFile(InternetHandle file, void *buffer, uint32_t bytesToRead,
                                  uint32_t *bytesRead) = 0;
    virtual bool InternetWriteFile(InternetHandle file, const void *buffer,
                                   uint32_t bytesToWrite, uint32_t *bytesWritten) = 0;
    virtual bool FtpDeleteFile(InternetHandle connect, const WideChar *fileName) = 0;
    // Closing a store's handle fails when the server did not confirm the store.
    virtual bool InternetCloseHandle(InternetHandle handle) = 0;

    // InternetQueryOptionW: *length is the buffer's size in bytes on entry and
    // the bytes written on return. Besides WinInet's options, a retrieval's file
    // handle may answer TransferConfirmedOption.
    virtual bool InternetQueryOption(InternetHandle handle, uint32_t option, void *buffer,
                                     uint32_t *length) = 0;

    // GetLastError as the calls above left it.
    virtual uint32_t GetLastError() = 0;

    // Whether the TLS options (TlsOptions.h) are taken: our own client has
    // FTPS, WinInet has none.
    virtual bool OffersTls() const { return false; }
    // Whether it opens a dropped connection again (SAPI_OPTION_FTP_RECONNECT).
    virtual bool OffersRecovery() const { return false; }
    // Whether it checks transfers against the server's digests (SAPI_OPTION_FTP_VERIFY_HASH).
    virtual bool OffersDigests() const { return false; }
    // Whether it follows a file that grows (SAPI_OPTION_FTP_FOLLOW_GROWING).
    virtual bool OffersFollowing() const { return false; }
    // Whether a connect handle answers SAPI_OPTION_FTP_LISTING_NOTE: what the
    // last listing did with lines it could not read.
    virtual bool OffersListingNotes() const { return false; }
};

// The module's client services: the plug-in's own FTP client, or WinInet in
// the Windows DLL built on it. Lives as long as the module.
FtpClientServices &PlatformFtpClientServices();

}  // namespace sapi
