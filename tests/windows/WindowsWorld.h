// The contract's world under Wine: one of the DLL's two FTP clients, chosen
// by FTP_TEST_CLIENT, against the loopback server tools/test-windows.sh
// started, whose folder this process reaches as a Windows path.
#pragma once

#include "ContractWorld.h"

namespace wintest {

class WindowsWorld final : public sapi::contract::ContractWorld {
public:
    explicit WindowsWorld(sapi::FtpClientServices &services) : services_(services) {}

    sapi::FtpClientServices &Services() override { return services_; }
    sapi::contract::ServerLogin Login() override;
    void PutFile(const std::string &path, const std::string &bytes) override;
    void MakeFolder(const std::string &path) override;
    std::optional<std::string> FileOnServer(const std::string &path) override;
    bool PutHugeFile(const std::string &path, uint64_t size) override;

private:
    sapi::FtpClientServices &services_;
};

}  // namespace wintest
