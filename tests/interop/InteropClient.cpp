#include "InteropClient.h"

#include <fstream>
#include <utility>

#include "ftp/services/WinInetConstants.h"
#include "platform/WideText.h"

namespace sapi::interop {

using namespace sapi::wininet;

namespace {

constexpr uint32_t BlockSize = 64 * 1024;

std::string NameOf(const FtpFindData &record) {
    return Utf8FromWide(WideView(record.fileName));
}

ListedEntry EntryOf(const FtpFindData &record) {
    return {NameOf(record), (record.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
            (static_cast<uint64_t>(record.fileSizeHigh) << 32) | record.fileSizeLow};
}

}  // namespace

int64_t SizeInReply(const std::string &reply) {
    if (reply.size() <= 4 || reply[0] != '2') return -1;
    std::size_t at = 4;
    while (at < reply.size() && (reply[at] == ' ' || reply[at] == '\t')) ++at;
    int64_t size = 0;
    for (; at < reply.size() && reply[at] >= '0' && reply[at] <= '9'; ++at) size = size * 10 + (reply[at] - '0');
    return size;
}

ServiceHandle::ServiceHandle(ServiceHandle &&other) noexcept
    : services_(other.services_), handle_(std::exchange(other.handle_, nullptr)) {}

ServiceHandle &ServiceHandle::operator=(ServiceHandle &&other) noexcept {
    if (this != &other) {
        Close();
        services_ = other.services_;
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

bool ServiceHandle::Close() {
    if (handle_ == nullptr) return true;
    return services_->InternetCloseHandle(std::exchange(handle_, nullptr));
}

InteropClient::InteropClient() : services_(PlatformFtpClientServices()) {}

bool InteropClient::Connect(const std::string &address, uint16_t port, const std::string &user,
                            const std::string &password, bool passive) {
    Disconnect();
    const WideString agent = WideFromAscii("UserAgent");
    internet_ = ServiceHandle(services_, services_.InternetOpen(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT,
                                                                nullptr, nullptr,
                                                                INTERNET_FLAG_NO_CACHE_WRITE));
    if (!internet_) return false;
    if (beforeConnect && !beforeConnect(services_, internet_.get())) return false;
    const WideString server = WideFromUtf8(address), wideUser = WideFromUtf8(user),
                     widePassword = WideFromUtf8(password);
    connect_ = ServiceHandle(
        services_, services_.InternetConnect(internet_.get(), server.c_str(), port, wideUser.c_str(),
                                             widePassword.c_str(), INTERNET_SERVICE_FTP,
                                             passive ? INTERNET_FLAG_PASSIVE : 0, 1));
    return static_cast<bool>(connect_);
}

void InteropClient::Disconnect() {
    connect_.Close();
    internet_.Close();
}

uint32_t InteropClient::LastError() { return services_.GetLastError(); }

std::string InteropClient::LastResponse() {
    uint32_t error = 0;
    uint32_t length = 0;
    services_.InternetGetLastResponseInfo(&error, nullptr, &length);
    WideString text(length + 1, 0);
    length = static_cast<uint32_t>(text.size());
    if (!services_.InternetGetLastResponseInfo(&error, text.data(), &length)) return "<no response>";
    text.resize(length);
    return Utf8FromWide(text);
}

std::optional<std::vector<ListedEntry>> InteropClient::List(const std::optional<std::string> &path) {
    const WideString pattern = path ? WideFromUtf8(*path) : WideString();
    FtpFindData record{};
    ServiceHandle find(services_, services_.FtpFindFirstFile(connect(), path ? pattern.c_str() : nullptr,
                                                             &record, FindFlags, 1));
    std::vector<ListedEntry> entries;
    if (!find) {
        if (LastError() == ERROR_NO_MORE_FILES) return entries;
        return std::nullopt;
    }
    do {
        entries.push_back(EntryOf(record));
        record = FtpFindData{};
    } while (services_.InternetFindNextFile(find.get(), &record));
    if (LastError() != ERROR_NO_MORE_FILES) return std::nullopt;
    return entries;
}

bool InteropClient::ChangeFolder(const std::string &path) {
    return services_.FtpSetCurrentDirectory(connect(), WideFromUtf8(path).c_str());
}

bool InteropClient::CreateFolder(const std::string &path) {
    return services_.FtpCreateDirectory(connect(), WideFromUtf8(path).c_str());
}

std::optional<std::string> InteropClient::CurrentFolder() {
    WideChar buffer[1025] = {};
    uint32_t length = 1025;
    if (!services_.FtpGetCurrentDirectory(connect(), buffer, &length)) return std::nullopt;
    return Utf8FromWide(WideView(buffer));
}

bool InteropClient::Command(const std::string &command) {
    return services_.FtpCommand(connect(), false, FTP_TRANSFER_TYPE_BINARY,
                                WideFromUtf8(command).c_str(), 0, nullptr);
}

bool InteropClient::Delete(const std::string &name) {
    return services_.FtpDeleteFile(connect(), WideFromUtf8(name).c_str());
}

ServiceHandle InteropClient::OpenFile(const std::string &name, bool forWriting) {
    return ServiceHandle(services_, services_.FtpOpenFile(connect(), WideFromUtf8(name).c_str(),
                                                          forWriting ? GENERIC_WRITE : GENERIC_READ,
                                                          TransferFlags, 1));
}

template <typename Sink>
bool InteropClient::ReadAll(ServiceHandle &file, Sink &&sink) {
    std::string block(BlockSize, '\0');
    while (true) {
        uint32_t count = 0;
        if (!services_.InternetReadFile(file.get(), block.data(), BlockSize, &count)) return false;
        if (count == 0) return file.Close();
        if (!sink(std::string_view(block.data(), count))) return false;
    }
}

std::optional<std::string> InteropClient::Retrieve(const std::string &name) {
    ServiceHandle file = OpenFile(name, false);
    if (!file) return std::nullopt;
    std::string bytes;
    const bool done = ReadAll(file, [&bytes](std::string_view block) {
        bytes.append(block);
        return true;
    });
    if (!done) return std::nullopt;
    return bytes;
}

bool InteropClient::RetrieveToFile(const std::string &name, const std::filesystem::path &local) {
    ServiceHandle file = OpenFile(name, false);
    if (!file) return false;
    std::ofstream out(local, std::ios::binary | std::ios::trunc);
    const bool done = ReadAll(file, [&out](std::string_view block) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        return static_cast<bool>(out);
    });
    out.close();
    return done && static_cast<bool>(out);
}

bool InteropClient::Store(const std::string &name, std::string_view bytes) {
    ServiceHandle file = OpenFile(name, true);
    if (!file) return false;
    while (!bytes.empty()) {
        const auto size = static_cast<uint32_t>(std::min<std::size_t>(bytes.size(), BlockSize));
        uint32_t written = 0;
        if (!services_.InternetWriteFile(file.get(), bytes.data(), size, &written) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return file.Close();
}

bool InteropClient::StoreFromFile(const std::string &name, const std::filesystem::path &local) {
    ServiceHandle file = OpenFile(name, true);
    if (!file) return false;
    std::ifstream in(local, std::ios::binary);
    std::string block(BlockSize, '\0');
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::string_view left(block.data(), static_cast<std::size_t>(in.gcount()));
        while (!left.empty()) {
            uint32_t written = 0;
            if (!services_.InternetWriteFile(file.get(), left.data(), static_cast<uint32_t>(left.size()),
                                             &written) ||
                written == 0) {
                return false;
            }
            left.remove_prefix(written);
        }
    }
    return in.eof() && file.Close();
}

}  // namespace sapi::interop
