// The FTP client services on the plug-in's own FTP client, for platforms
// without WinInet. Each call keeps WinInet's contract: null or false on
// failure with the reason in GetLastError(), 12003 with the server's reply in
// InternetGetLastResponseInfo when the server refused.
//
// Choices where WinInet leaves room, or where we do better than its letter:
// - A listing is read whole when the find handle opens; a name longer than a
//   cFileName holds (259 UTF-16 units) is left out of it, since a cut name
//   would name another file or none.
// - Names that are not UTF-8 read as Latin-1 and go back to the server as the
//   bytes it listed (RemoteNames.h).
// - The folder the server was last seen in (the last CWD, the last PWD) is
//   listed as the current folder whatever characters its name holds; only
//   other search texts are split into a folder and a pattern.
// - Files get FILE_ATTRIBUTE_NORMAL, folders FILE_ATTRIBUTE_DIRECTORY.
// - No text that reaches the control connection may hold CR or LF: such a
//   call fails with ERROR_INVALID_PARAMETER before anything is sent.
// - The status callback is kept and handed back; the client itself makes no
//   status calls, so no host code runs inside a request.
// - FtpCommand with a data connection (fExpectResponse) is not offered.
#pragma once

#include "ftp/services/FtpClientServices.h"
#include "ftp/services/sockets/HandleTable.h"

namespace sapi::ftpclient {

class SocketFtpClientServices final : public FtpClientServices {
public:
    InternetHandle InternetOpen(const WideChar *agent, uint32_t accessType, const WideChar *proxy,
                                const WideChar *proxyBypass, uint32_t flags) override;
    InternetHandle InternetConnect(InternetHandle internet, const WideChar *serverName, uint16_t port,
                                   const WideChar *userName, const WideChar *password, uint32_t service,
                                   uint32_t flags, uintptr_t context) override;
    InternetStatusCallback InternetSetStatusCallback(InternetHandle handle,
                                                     InternetStatusCallback callback) override;
    bool InternetSetOption(InternetHandle handle, uint32_t option, const void *buffer,
                           uint32_t length) override;
    InternetHandle FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                    FtpFindData *findData, uint32_t flags, uintptr_t context) override;
    bool InternetFindNextFile(InternetHandle find, FtpFindData *findData) override;
    bool FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpCreateDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory, uint32_t *length) override;
    bool FtpCommand(InternetHandle connect, bool expectResponse, uint32_t flags, const WideChar *command,
                    uintptr_t context, InternetHandle *commandHandle) override;
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
    // Answers TransferConfirmedOption only; WinInet's own options are not kept.
    bool InternetQueryOption(InternetHandle handle, uint32_t option, void *buffer,
                             uint32_t *length) override;
    uint32_t GetLastError() override;
    bool OffersTls() const override { return true; }
    bool OffersRecovery() const override { return true; }
    bool OffersDigests() const override { return true; }
    bool OffersFollowing() const override { return true; }
    bool OffersListingNotes() const override { return true; }

private:
    bool RunCommand(InternetHandle connect, const char *verb, const WideChar *argument,
                    void (*done)(ConnectObject &, const WideChar *) = nullptr);
    bool QuerySessionText(const std::shared_ptr<HandleObject> &object, uint32_t option, void *buffer,
                          uint32_t *length);
    bool QuerySendAgain(const std::shared_ptr<HandleObject> &object, void *buffer, uint32_t *length);
    std::shared_ptr<ConnectObject> ConnectFor(InternetHandle connect, bool transfersToo);
    bool Finish(const SessionOutcome &outcome);

    HandleTable handles_;
};

}  // namespace sapi::ftpclient
