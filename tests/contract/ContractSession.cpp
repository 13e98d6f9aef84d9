#include "ContractSession.h"

#include <algorithm>
#include <vector>

#include "ftp/services/WinInetConstants.h"

namespace sapi::contract {

using namespace sapi::wininet;

namespace {

constexpr uint32_t uncachedBinary = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                    FTP_TRANSFER_TYPE_BINARY;

}  // namespace

WideString Wide(const std::string &utf8) { return WideFromUtf8(utf8); }

Session::Session(ContractWorld &world) : services_(world.Services()) {
    const ServerLogin login = world.Login();
    root_ = services_.InternetOpen(SAPI_WIDE("UserAgent"), INTERNET_OPEN_TYPE_DIRECT, nullptr,
                                   nullptr, INTERNET_FLAG_NO_CACHE_WRITE);
    connect_ = services_.InternetConnect(root_, login.host.c_str(), login.port, login.user.c_str(),
                                         login.password.c_str(), INTERNET_SERVICE_FTP,
                                         INTERNET_FLAG_PASSIVE, 1);
}

Session::~Session() {
    if (connect_ != nullptr) services_.InternetCloseHandle(connect_);
    if (root_ != nullptr) services_.InternetCloseHandle(root_);
}

bool Session::CloseConnect() {
    const bool closed = services_.InternetCloseHandle(connect_);
    connect_ = nullptr;
    return closed;
}

InternetHandle Session::OpenRead(const std::string &name) const {
    return services_.FtpOpenFile(connect_, Wide(name).c_str(), GENERIC_READ, uncachedBinary, 1);
}

InternetHandle Session::OpenWrite(const std::string &name) const {
    return services_.FtpOpenFile(connect_, Wide(name).c_str(), GENERIC_WRITE, uncachedBinary, 1);
}

bool Session::Enter(const std::string &folder) const {
    return services_.FtpSetCurrentDirectory(connect_, Wide(folder).c_str());
}

InternetHandle Session::FindFirst(FtpFindData &record) const {
    return services_.FtpFindFirstFile(connect_, nullptr, &record,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
}

Listing ListCurrentFolder(const Session &session) {
    Listing listing;
    FtpFindData record;
    const InternetHandle find = session.FindFirst(record);
    listing.opened = find != nullptr;
    for (bool more = listing.opened; more; more = session.services().InternetFindNextFile(find, &record)) {
        listing.records.push_back(record);
    }
    listing.endError = session.services().GetLastError();
    listing.closed = listing.opened && session.services().InternetCloseHandle(find);
    return listing;
}

std::string NameOf(const FtpFindData &record) { return Utf8FromWide(WideView(record.fileName)); }

uint64_t SizeOf(const FtpFindData &record) {
    return (uint64_t{record.fileSizeHigh} << 32) | record.fileSizeLow;
}

std::string Session::LastReply() const {
    WideChar reply[1024] = {};
    uint32_t error = 0;
    uint32_t length = 1024;
    if (!services_.InternetGetLastResponseInfo(&error, reply, &length)) return {};
    std::string text = Utf8FromWide(WideView(reply));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool Session::AnswersSize(const std::string &name, uint64_t size) const {
    const WideString command = Wide("SIZE " + name);
    return services_.FtpCommand(connect_, false, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0,
                                nullptr) &&
           LastReply() == "213 " + std::to_string(size);
}

std::string PatternBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 251);
    return bytes;
}

Drained Drain(FtpClientServices &services, InternetHandle file, uint32_t block) {
    Drained drained;
    std::vector<char> buffer(block);
    // Odd small reads first: a read must stop at the buffer even mid-packet.
    const uint32_t firstSizes[] = {1, 7};
    for (int reads = 0; reads < 1000000; ++reads) {
        const uint32_t asked = reads < 2 ? std::min(firstSizes[reads], block) : block;
        uint32_t count = 0;
        if (!services.InternetReadFile(file, buffer.data(), asked, &count)) {
            drained.error = services.GetLastError();
            return drained;
        }
        if (count > asked) {
            drained.overfilled = true;
            return drained;
        }
        if (count == 0) {
            drained.cleanEnd = true;
            return drained;
        }
        drained.bytes.append(buffer.data(), count);
    }
    return drained;
}

bool WriteAll(FtpClientServices &services, InternetHandle file, const std::string &bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 65536) {
        const auto count = static_cast<uint32_t>(std::min<std::size_t>(65536, bytes.size() - at));
        uint32_t written = 0;
        if (!services.InternetWriteFile(file, bytes.data() + at, count, &written) || written != count) {
            return false;
        }
    }
    return true;
}

uint32_t Confirmed(FtpClientServices &services, InternetHandle file) {
    uint32_t confirmed = 0;
    uint32_t length = sizeof confirmed;
    return services.InternetQueryOption(file, TransferConfirmedOption, &confirmed, &length) ? confirmed
                                                                                          : 99;
}

}  // namespace sapi::contract
