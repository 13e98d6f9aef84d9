// Times one download or upload through a server-access module, loaded and
// driven exactly as a host does. Prints one line:
//   result=<code> bytes=<n> data_seconds=<first call to last block> total_seconds=<whole call>
// "data" ends with the last block; the plug-in's end-of-file retries come after it
// and are only in "total".
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ServerApi.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Progress {
    uint64_t bytes = 0;
    Clock::time_point lastBlock{};
};

bool SERVER_API_CALLBACK OnBlock(void *context, uint32_t count, int64_t) {
    auto *progress = static_cast<Progress *>(context);
    progress->bytes += count;
    progress->lastBlock = Clock::now();
    return true;
}

std::u16string Wide(const char *text) {
    std::u16string out;
    for (const char *p = text; *p != 0; ++p) out += static_cast<char16_t>(static_cast<unsigned char>(*p));
    return out;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Fail(const char *what, int code) {
    std::fprintf(stderr, "transfer_bench: %s failed with %d\n", what, code);
    return 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 9 || (std::strcmp(argv[1], "get") != 0 && std::strcmp(argv[1], "put") != 0)) {
        std::fprintf(stderr, "usage: transfer_bench get|put MODULE HOST PORT USER PASSWORD REMOTE LOCAL\n");
        return 2;
    }
    const bool download = std::strcmp(argv[1], "get") == 0;
    void *module = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        std::fprintf(stderr, "transfer_bench: %s\n", dlerror());
        return 1;
    }
    auto init = reinterpret_cast<InitServerAPIFunction>(dlsym(module, SERVER_API_ENTRY_NAME));
    const ServerApiFunctions *api = nullptr;
    if (init == nullptr || init(SERVER_API_VERSION, &api) != ApiOk) return Fail("InitServerAPI", -1);

    int32_t set = 0;
    api->CreateParameterSet(&set);
    const char *keys[] = {"ServerPrimaryAddress", "ServerPrimaryPort", "ServerPrimaryLoginName",
                          "ServerPrimaryLoginPassword", "ServerUsePassive", "Title"};
    const char *values[] = {argv[3], argv[4], argv[5], argv[6], "1", argv[7]};
    for (int i = 0; i < 6; ++i) api->SetParameter(set, keys[i], Wide(values[i]).c_str());

    int32_t connection = 0;
    const int opened = api->OpenServer(set, &connection);
    if (opened != ApiOk) return Fail("OpenServer", opened);

    Progress progress;
    const auto start = Clock::now();
    const int result = download
        ? api->DownloadAsset(connection, Wide(argv[7]).c_str(), Wide(argv[8]).c_str(), OnBlock, &progress)
        : api->UploadAsset(connection, set, Wide(argv[8]).c_str(), OnBlock, &progress);
    const auto end = Clock::now();
    if (progress.bytes == 0) progress.lastBlock = end;

    std::printf("result=%d bytes=%llu data_seconds=%.3f total_seconds=%.3f\n", result,
                static_cast<unsigned long long>(progress.bytes), Seconds(progress.lastBlock - start),
                Seconds(end - start));
    api->CloseServer(connection);
    api->DestroyParameterSet(set);
    api->ReleaseServerAPI();
    return result == ApiOk ? 0 : 1;
}
