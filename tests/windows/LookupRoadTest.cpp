// The own client's reconnect on Windows threads: its name look-up runs on a
// thread of its own, and a handle closed from another thread ends the call
// while the look-up still hangs. The look-up is replaced by one that does not
// answer until the case lets it, as a name server that never answers would.
#include <atomic>
#include <vector>

#include "Check.h"
#include "TestEnvironment.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"
#include "ftp/services/sockets/NameLookup.h"
#include "ftp/services/sockets/SocketFtpClientServices.h"

// After the client's headers: <windows.h> defines some of their names as macros.
#include <windows.h>

using sapi::InternetHandle;
using namespace sapi::wininet;

namespace {

std::atomic<bool> lookupEntered{false};
std::atomic<bool> lookupReleased{false};
std::atomic<bool> lookupReturned{false};

bool WaitFor(const std::atomic<bool> &flag, DWORD limitMs) {
    for (DWORD waited = 0; !flag; waited += 5) {
        if (waited >= limitMs) return false;
        Sleep(5);
    }
    return true;
}

std::vector<sapi::ftpclient::SocketAddress> StalledLookup(const std::string &, uint16_t) {
    lookupEntered = true;
    WaitFor(lookupReleased, 60000);
    lookupReturned = true;
    return {};
}

struct Call {
    sapi::FtpClientServices *services = nullptr;
    InternetHandle connect = nullptr;
    bool entered = true;
};

DWORD WINAPI EnterOnWorker(void *context) {
    auto &call = *static_cast<Call *>(context);
    call.entered = call.services->FtpSetCurrentDirectory(call.connect, L"/");
    return 0;
}

}  // namespace

// The session ends (QUIT), so the next call reconnects and looks the name up;
// the interface thread closes the connection meanwhile.
TEST_CASE(CloseEndsAReconnectsNameLookup) {
    sapi::ftpclient::SocketFtpClientServices services;
    InternetHandle root = services.InternetOpen(L"UserAgent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    const uint32_t on = 1;
    CHECK(services.InternetSetOption(root, sapi::SAPI_OPTION_FTP_RECONNECT, &on, sizeof on));
    Call call{&services};
    call.connect = services.InternetConnect(root, L"127.0.0.1", wintest::ServerPort(), L"user", L"pass",
                                            INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    CHECK(call.connect != nullptr);
    services.FtpCommand(call.connect, false, FTP_TRANSFER_TYPE_BINARY, L"QUIT", 0, nullptr);
    const auto system = sapi::ftpclient::SetNameResolverForTesting(&StalledLookup);
    HANDLE worker = CreateThread(nullptr, 0, EnterOnWorker, &call, 0, nullptr);
    CHECK(WaitFor(lookupEntered, 20000));
    services.InternetCloseHandle(call.connect);
    // A hang, not a speed: the look-up holds out for a minute.
    CHECK_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
    CloseHandle(worker);
    CHECK(!call.entered);
    lookupReleased = true;
    CHECK(WaitFor(lookupReturned, 20000));
    sapi::ftpclient::SetNameResolverForTesting(system);
    services.InternetCloseHandle(root);
}

int main(int argc, char **argv) { return wintest::RunCases(argc > 1 ? argv[1] : nullptr) == 0 ? 0 : 1; }
