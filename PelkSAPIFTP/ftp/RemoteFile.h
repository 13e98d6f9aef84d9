// A file handle of the client services (a retrieval or a store), closed exactly
// once: by Close, whose answer tells whether the server confirmed a store, or
// by the destructor on any other way out, an exception included.
#pragma once

#include <utility>

#include "ftp/services/FtpClientServices.h"

namespace sapi {

class RemoteFile {
public:
    RemoteFile(FtpClientServices &services, InternetHandle handle) : services_(services), handle_(handle) {}
    ~RemoteFile() { Close(); }
    RemoteFile(const RemoteFile &) = delete;
    RemoteFile &operator=(const RemoteFile &) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    InternetHandle Handle() const { return handle_; }

    // InternetCloseHandle; true when there was nothing left to close.
    bool Close() {
        InternetHandle handle = std::exchange(handle_, nullptr);
        return handle == nullptr || services_.InternetCloseHandle(handle);
    }

private:
    FtpClientServices &services_;
    InternetHandle handle_;
};

}  // namespace sapi
