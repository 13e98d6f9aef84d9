// FtpClientServices on the real WinInet: each call passes its arguments on
// unchanged, with these additions that keep the interface's promises where
// WinInet alone does not:
//  - the handles handed out are values of our own (WinInetHandleTable.h),
//    never given twice, so a handle a caller still holds after its WinInet
//    handle went never names the next one WinInet opens on another thread;
//  - a text bound for the control connection that holds a CR or LF fails with
//    ERROR_INVALID_PARAMETER before WinInet sees it, so that no caller can
//    smuggle a second command onto the wire;
//  - closing a store's handle fails with ERROR_INTERNET_EXTENDED_ERROR unless
//    the server's reply to the end of the transfer was a 2xx;
//  - the read that reaches the end of a retrieval (0 bytes) succeeds only when
//    the server's reply to the end of the transfer was a 2xx: a server that
//    cut the file short ("426 ...") or never said fails it;
//  - so a retrieval's handle can answer TransferConfirmedOption: non-zero once
//    that read found the 2xx.
#pragma once

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/wininet/WinInetHandleTable.h"

namespace sapi {

class WinInetFtpClientServices final : public FtpClientServices {
public:
    InternetHandle InternetOpen(const WideChar *agent, uint32_t accessType, const WideChar *proxy,
                                const WideChar *proxyBypass, uint32_t flags) override;
    InternetHandle InternetConnect(InternetHandle internet, const WideChar *serverName, uint16_t port,
                                   const WideChar *userName, const WideChar *password,
                                   uint32_t service, uint32_t flags, uintptr_t context) override;
    InternetStatusCallback InternetSetStatusCallback(InternetHandle handle,
                                                     InternetStatusCallback callback) override;
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
    bool InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer, uint32_t *length) override;

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
    void *Live(InternetHandle handle) const;
    InternetHandle Adopt(void *wininet, InternetHandle parent, WinInetHandleKind kind);
    bool EndRetrieval(InternetHandle file);
    bool CloseStore(void *file);

    // Every handle the callers hold, ours for WinInet's.
    WinInetHandleTable handles_;
};

}  // namespace sapi
