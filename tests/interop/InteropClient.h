// The FTP client services driven as the connection code drives them (same
// calls, same flags), with the results turned into plain values for tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/services/FtpClientServices.h"

namespace sapi::interop {

// Closes a handle of the client services when it goes out of scope.
class ServiceHandle {
public:
    ServiceHandle() = default;
    ServiceHandle(FtpClientServices &services, InternetHandle handle)
        : services_(&services), handle_(handle) {}
    ~ServiceHandle() { Close(); }
    ServiceHandle(ServiceHandle &&other) noexcept;
    ServiceHandle &operator=(ServiceHandle &&other) noexcept;
    ServiceHandle(const ServiceHandle &) = delete;
    ServiceHandle &operator=(const ServiceHandle &) = delete;

    InternetHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // InternetCloseHandle's result; true when nothing was open.
    bool Close();

private:
    FtpClientServices *services_ = nullptr;
    InternetHandle handle_ = nullptr;
};

struct ListedEntry {
    std::string name;  // UTF-8
    bool isDirectory = false;
    uint64_t size = 0;
};

// The size in a reply to "SIZE", read as the plug-in reads it: a reply of more
// than four characters starting with '2', digits from its fifth character on
// (leading blanks skipped). -1 for anything else.
int64_t SizeInReply(const std::string &reply);

class InteropClient {
public:
    // The flags the connection code passes.
    static constexpr uint32_t FindFlags = 0x84000000;      // reload | no cache write
    static constexpr uint32_t TransferFlags = 0x84000002;  // the above | binary

    InteropClient();

    // Run on the root handle between InternetOpen and InternetConnect (the TLS
    // options go there); false fails the connect.
    std::function<bool(FtpClientServices &, InternetHandle root)> beforeConnect;

    // InternetOpen, then InternetConnect (which logs in). False leaves the
    // error in LastError() and the server's reply in LastResponse().
    bool Connect(const std::string &address, uint16_t port, const std::string &user,
                 const std::string &password, bool passive);
    void Disconnect();

    FtpClientServices &services() { return services_; }
    InternetHandle connect() const { return connect_.get(); }
    uint32_t LastError();
    // InternetGetLastResponseInfo, as UTF-8.
    std::string LastResponse();

    // A listing: of the current folder for nullopt, else of `path`. nullopt on
    // failure; an empty folder (ERROR_NO_MORE_FILES) gives an empty list.
    std::optional<std::vector<ListedEntry>> List(const std::optional<std::string> &path = std::nullopt);
    bool ChangeFolder(const std::string &path);
    bool CreateFolder(const std::string &path);
    std::optional<std::string> CurrentFolder();
    // FtpCommand without a data connection, binary, context 0: "SIZE x", "ABOR".
    bool Command(const std::string &command);
    bool Delete(const std::string &name);

    ServiceHandle OpenFile(const std::string &name, bool forWriting);
    // The whole remote file; nullopt when any call failed.
    std::optional<std::string> Retrieve(const std::string &name);
    bool RetrieveToFile(const std::string &name, const std::filesystem::path &local);
    // A store of `bytes`, confirmed by the close.
    bool Store(const std::string &name, std::string_view bytes);
    bool StoreFromFile(const std::string &name, const std::filesystem::path &local);

private:
    template <typename Sink>
    bool ReadAll(ServiceHandle &file, Sink &&sink);

    FtpClientServices &services_;
    ServiceHandle internet_;
    ServiceHandle connect_;
};

}  // namespace sapi::interop
