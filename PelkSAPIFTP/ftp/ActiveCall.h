// Marks an operation under way on a connection, for the whole of the call. A
// connection closed by the host from inside one of the operation's callbacks
// is destroyed here, when the outermost operation under way ends.
#pragma once

#include <memory>

#include "ftp/FtpConnection.h"

namespace sapi {

class ActiveCall {
public:
    explicit ActiveCall(FtpConnection &connection) : connection_(connection) { ++connection_.activeCalls; }
    ~ActiveCall() {
        if (--connection_.activeCalls == 0 && connection_.retiredSelf) {
            // Moving the owner out first: the object is gone when `retired` dies.
            std::unique_ptr<FtpConnection> retired = std::move(connection_.retiredSelf);
        }
    }
    ActiveCall(const ActiveCall &) = delete;
    ActiveCall &operator=(const ActiveCall &) = delete;

private:
    FtpConnection &connection_;
};

}  // namespace sapi
