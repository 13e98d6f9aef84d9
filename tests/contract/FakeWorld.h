// The contract's world for the scripted fake the core's unit tests trust: a
// small model of a server's files stands behind the fake and scripts it,
// call by call, with what that server would answer. What the fake does of
// its own (handles, line breaks, one transfer at a time, reads cut to the
// buffer) is left to the fake, so that the contract checks it.
#pragma once

#include <map>
#include <set>

#include "ContractWorld.h"
#include "FakeFtpClientServices.h"

namespace sapi::contract {

class FakeWorld final : public ContractWorld, private testing::FakeFtpClientServices {
public:
    FtpClientServices &Services() override { return *this; }
    ServerLogin Login() override;
    void PutFile(const std::string &path, const std::string &bytes) override;
    void MakeFolder(const std::string &path) override;
    std::optional<std::string> FileOnServer(const std::string &path) override;
    bool PutHugeFile(const std::string &path, uint64_t size) override;

private:
    struct File {
        std::string bytes;
        uint64_t size = 0;
    };
    struct Store {
        std::string path;
        std::size_t from = 0;  // where its bytes begin in `written`
    };

    std::string Resolve(const WideChar *name) const;
    bool IsFolder(const std::string &path) const;
    void Refuse(const std::string &call, const std::string &reply);
    void ScriptRetrieval(const std::string &path);
    testing::FakeListing ListingOf(const std::string &folder) const;

    // ---- the calls the model answers: each scripts the fake, then lets it answer
    InternetHandle InternetConnect(InternetHandle internet, const WideChar *serverName,
                                   uint16_t port, const WideChar *userName,
                                   const WideChar *password, uint32_t service, uint32_t flags,
                                   uintptr_t context) override;
    InternetHandle FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                    FtpFindData *findData, uint32_t flags,
                                    uintptr_t context) override;
    bool FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpCreateDirectory(InternetHandle connect, const WideChar *directory) override;
    bool FtpCommand(InternetHandle connect, bool expectResponse, uint32_t flags,
                    const WideChar *command, uintptr_t context,
                    InternetHandle *commandHandle) override;
    InternetHandle FtpOpenFile(InternetHandle connect, const WideChar *fileName, uint32_t access,
                               uint32_t flags, uintptr_t context) override;
    bool InternetReadFile(InternetHandle file, void *buffer, uint32_t bytesToRead,
                          uint32_t *bytesRead) override;
    bool FtpDeleteFile(InternetHandle connect, const WideChar *fileName) override;
    bool InternetCloseHandle(InternetHandle handle) override;

    std::map<std::string, File> files_;  // by absolute path
    std::set<std::string> folders_{"/"};
    std::map<InternetHandle, Store> stores_;
    std::string current_ = "/";
};

}  // namespace sapi::contract
