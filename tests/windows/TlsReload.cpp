// tls_reload.exe PORT CA-FILE: loads the module, lists an FTPS server's root
// through it and unloads it, three times over, each time on a thread of its
// own, as a host that loads plug-ins on demand does. OpenSSL lives inside the
// DLL: each unload must take it along (nothing pins the DLL, nor holds it
// until the thread ends) and each load must start it afresh; the thread's end
// and the process's must not call into the unloaded DLL. Exit 0 when every
// round listed the root and the DLL was gone at once after FreeLibrary.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ModuleHarness.h"
#include "TestEnvironment.h"

namespace {

bool ListOnce(const ServerApiFunctions &api, const std::wstring &port, const std::wstring &caFile) {
    int32_t settings = 0;
    if (api.CreateParameterSet(&settings) != ApiOk) return false;
    const std::pair<const char *, std::wstring> values[] = {
        {"ServerPrimaryAddress", L"127.0.0.1"}, {"ServerPrimaryPort", port},
        {"ServerPrimaryLoginName", L"sapiftp"}, {"ServerPrimaryLoginPassword", L"secret"},
        {"ServerUseTLS", L"1"},                 {"ServerTLSCAFile", caFile}};
    for (const auto &[key, value] : values) api.SetParameter(settings, key, value.c_str());
    int32_t connection = 0;
    const ServerApiResult opened = api.OpenServer(settings, &connection);
    api.DestroyParameterSet(settings);
    if (opened != ApiOk) {
        std::printf("round: OpenServer gave %d\n", static_cast<int>(opened));
        return false;
    }
    ServerApiChar name[300] = {};
    uint32_t length = 300;
    const bool listed = api.GetAssetName(connection, 0, name, &length) == ApiOk && std::wstring(name) == L"hello.txt";
    api.CloseServer(connection);
    if (!listed) std::printf("round: the root's listing lacks hello.txt\n");
    return listed;
}

struct Round {
    const wchar_t *port;
    const wchar_t *caFile;
    bool listed = false;
    bool unloaded = false;
};

DWORD WINAPI RunRound(void *argument) {
    auto *round = static_cast<Round *>(argument);
    const std::wstring module = wintest::ModuleUnderTest();
    {
        wintest::LoadedModule loaded(module);
        const ServerApiFunctions *api = nullptr;
        const InitServerAPIFunction entry = loaded.Entry();
        round->listed = entry != nullptr && entry(SERVER_API_VERSION, &api) == ApiOk &&
                        ListOnce(*api, round->port, round->caFile);
    }
    round->unloaded = GetModuleHandleW(module.c_str()) == nullptr;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) {
        std::printf("usage: tls_reload PORT CA-FILE\n");
        return 2;
    }
    for (int round = 1; round <= 3; ++round) {
        Round work{argv[1], argv[2]};
        HANDLE thread = CreateThread(nullptr, 0, &RunRound, &work, 0, nullptr);
        if (thread == nullptr || WaitForSingleObject(thread, 120000) != WAIT_OBJECT_0) return 1;
        CloseHandle(thread);
        const bool listed = work.listed;
        const bool unloaded = work.unloaded;
        std::printf("round %d: %s, %s\n", round, listed ? "listed over TLS" : "FAILED to list",
                    unloaded ? "unloaded" : "STILL LOADED after FreeLibrary");
        if (!listed || !unloaded) return 1;
    }
    return 0;
}
