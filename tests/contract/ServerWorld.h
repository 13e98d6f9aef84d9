// The contract's world on Linux: the plug-in's own client against a real
// pyftpdlib on loopback, the same server script (and the same odd files) the
// Windows runs use under Wine, started once per world.
#pragma once

#include <sys/types.h>

#include <filesystem>

#include "ContractWorld.h"
#include "TestFiles.h"
#include "UniqueFd.h"
#include "ftp/services/sockets/SocketFtpClientServices.h"

namespace sapi::contract {

class ServerWorld final : public ContractWorld {
public:
    ServerWorld();  // throws when the server does not come up
    ~ServerWorld() override;
    ServerWorld(const ServerWorld &) = delete;
    ServerWorld &operator=(const ServerWorld &) = delete;

    FtpClientServices &Services() override { return services_; }
    ServerLogin Login() override;
    void PutFile(const std::string &path, const std::string &bytes) override;
    void MakeFolder(const std::string &path) override;
    std::optional<std::string> FileOnServer(const std::string &path) override;
    bool PutHugeFile(const std::string &path, uint64_t size) override;

private:
    void Stop();

    test::TempDir work_{"sapi-contract"};
    std::filesystem::path root_ = work_ / "root";
    pid_t keeper_ = -1;
    test::UniqueFd keeperInput_;  // the server runs while this stays open
    uint16_t port_ = 0;
    ftpclient::SocketFtpClientServices services_;
};

}  // namespace sapi::contract
