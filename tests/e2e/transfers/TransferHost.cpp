#include "TransferHost.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/WideText.h"

namespace sapi::e2e {

std::u16string Wide(const std::string &utf8) { return sapi::WideFromUtf8(utf8); }

bool TransferLog::Record(uint32_t count, int64_t totalSize) {
    sum += count;
    largest = std::max(largest, count);
    totalSizes.push_back(totalSize);
    if (reenter != nullptr) std::exchange(reenter, nullptr)(*api, connection);
    return totalSizes.size() - 1 != stopAt;
}

bool SERVER_API_CALLBACK LogProgress(void *context, uint32_t count, int64_t totalSize) {
    return static_cast<TransferLog *>(context)->Record(count, totalSize);
}

bool SERVER_API_CALLBACK LogRead(void *context, const void *data, uint32_t count, int64_t totalSize) {
    auto *log = static_cast<TransferLog *>(context);
    log->data.append(static_cast<const char *>(data), count);
    return log->Record(count, totalSize);
}

bool SERVER_API_CALLBACK FeedFromString(void *context, void *buffer, uint32_t *length) {
    auto *source = static_cast<StreamSource *>(context);
    if (source->blocks++ == source->stopAfterBlocks) return false;
    const std::size_t count = std::min<std::size_t>(*length, source->bytes.size() - source->offset);
    std::memcpy(buffer, source->bytes.data() + source->offset, count);
    source->offset += count;
    *length = static_cast<uint32_t>(count);
    return true;
}

void TransferHost::SetUp() {
    PrepareRoot();
    server = std::make_unique<sapi::test::TestFtpServer>(GetParam(), root.path(), sapi::test::TestFtpServer::DefaultUser,
                                                           sapi::test::TestFtpServer::DefaultPassword, ServerOptions());
    ASSERT_EQ(api.CreateParameterSet(&assetSet), ApiOk);
    connection = Open();
    ASSERT_GT(connection, 0);
}

void TransferHost::TearDown() {
    for (int32_t handle : opened_) api.CloseServer(handle);
    api.DestroyParameterSet(assetSet);
    server.reset();
}

void TransferHost::SetServerKeys(const ServerApiFunctions &table, int32_t set) const {
    table.SetParameter(set, "ServerPrimaryAddress", Wide(server->address()).c_str());
    table.SetParameter(set, "ServerPrimaryPort", Wide(std::to_string(server->port())).c_str());
    table.SetParameter(set, "ServerPrimaryLoginName", Wide(server->user()).c_str());
    table.SetParameter(set, "ServerPrimaryLoginPassword", Wide(server->password()).c_str());
    table.SetParameter(set, "ServerUsePassive", u"1");
}

int32_t TransferHost::Open(bool verifyByRead) { return OpenWith({{"ServerVerifyByRead", verifyByRead ? u"1" : u"0"}}); }

int32_t TransferHost::OpenWith(const std::vector<std::pair<const char *, std::u16string>> &keys) {
    int32_t set = 0;
    EXPECT_EQ(api.CreateParameterSet(&set), ApiOk);
    SetServerKeys(api, set);
    for (const auto &[key, value] : keys) api.SetParameter(set, key, value.c_str());
    int32_t handle = -1;
    EXPECT_EQ(api.OpenServer(set, &handle), ApiOk);
    api.DestroyParameterSet(set);
    if (handle > 0) opened_.push_back(handle);
    return handle;
}

void TransferHost::SetTitle(const std::string &utf8Title) {
    ASSERT_EQ(api.SetParameter(assetSet, "Title", Wide(utf8Title).c_str()), ApiOk);
}

std::string TransferHost::Parameter(const char *key) {
    char16_t text[512] = {};
    uint32_t length = 512;
    if (api.GetParameter(assetSet, key, text, &length) != ApiOk) return "<absent>";
    return sapi::Utf8FromWide(text);
}

}  // namespace sapi::e2e
