// A host's side of the transfers: a module loaded through its table, one real
// FTP server serving a fresh folder, a connection to it, and recorders for the
// host callbacks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ModuleLoader.h"
#include "TestFiles.h"
#include "TestFtpServer.h"

namespace sapi::e2e {

// UTF-8 test text as the host's UTF-16.
std::u16string Wide(const std::string &utf8);

// What the progress or read callbacks saw; `stopAt` is the 0-based call that answers false.
struct TransferLog {
    uint64_t sum = 0;
    uint32_t largest = 0;
    std::vector<int64_t> totalSizes;
    std::string data;  // ReadAsset only
    std::size_t stopAt = SIZE_MAX;
    // Run inside the first callback, for a host that re-enters the module.
    void (*reenter)(const ServerApiFunctions &, int32_t) = nullptr;
    const ServerApiFunctions *api = nullptr;
    int32_t connection = 0;
    bool Record(uint32_t count, int64_t totalSize);
};
bool SERVER_API_CALLBACK LogProgress(void *context, uint32_t count, int64_t totalSize);
bool SERVER_API_CALLBACK LogRead(void *context, const void *data, uint32_t count, int64_t totalSize);

// Feeds WriteAsset from a string in blocks of at most the offered length.
struct StreamSource {
    std::string bytes;
    std::size_t offset = 0;
    std::size_t stopAfterBlocks = SIZE_MAX;
    std::size_t blocks = 0;
};
bool SERVER_API_CALLBACK FeedFromString(void *context, void *buffer, uint32_t *length);

class TransferHost : public ::testing::TestWithParam<std::string> {
protected:
    // Files put under the server's root before it starts.
    virtual void PrepareRoot() {}
    virtual sapi::test::TestFtpServerOptions ServerOptions() const { return {}; }
    void SetUp() override;
    void TearDown() override;

    // The server's address, port, login and passive mode, into a set of `table`'s module.
    void SetServerKeys(const ServerApiFunctions &table, int32_t set) const;
    // A connection with "ServerVerifyByRead" as given.
    int32_t Open(bool verifyByRead = false);
    // A connection with these keys on top of the server's.
    int32_t OpenWith(const std::vector<std::pair<const char *, std::u16string>> &keys);
    void SetTitle(const std::string &utf8Title);
    std::string Parameter(const char *key);
    std::u16string LocalPath(const std::string &name) const { return Wide((local / name).string()); }

    sapi::test::TempDir root{"sapi-e2e-transfers-root"};
    sapi::test::TempDir local{"sapi-e2e-transfers-local"};
    sapi_test::ModuleLoader module{sapi_test::ModulePath("PelkSAPIFTP-shortwaits")};
    const ServerApiFunctions &api = module.table;
    std::unique_ptr<sapi::test::TestFtpServer> server;
    int32_t connection = 0;
    int32_t assetSet = 0;

private:
    std::vector<int32_t> opened_;
};

// The four kinds of server, as gtest parameter names.
#define SAPI_ON_EVERY_SERVER(suite)                                                                      \
    INSTANTIATE_TEST_SUITE_P(Servers, suite, ::testing::ValuesIn(sapi::test::TestFtpServer::Kinds()), \
                             [](const auto &serverKind) { return serverKind.param; })

}  // namespace sapi::e2e
