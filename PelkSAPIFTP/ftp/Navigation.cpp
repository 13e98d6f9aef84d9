// Moving a connection to another remote folder: ".", "..", or any name or path,
// created on the server when it cannot be entered.
#include <algorithm>
#include <array>

#include "ftp/FtpConnection.h"

namespace sapi {

namespace {

// The longest folder path we record from the server, and the longest name we
// send: 1024 characters (the buffer holds one more for the terminator).
constexpr std::size_t kFolderPathCapacity = 1025;
constexpr std::size_t kLongestFolderPath = kFolderPathCapacity - 1;

bool Is(const WideString &name, const char *text) { return name == WideFromAscii(text); }

// Where ".." leads when the server will not say: the current folder cut after
// the "/" before its last part. "/a/b" and "/a/b/" give "/a/", "/a" gives "/";
// "/", "ab" and "" stay as they are.
WideString ParentFallback(const WideString &folder) {
    if (folder.size() <= 1) return folder;
    const std::size_t slash = folder.rfind(WideChar{'/'}, folder.size() - 2);
    if (slash == WideString::npos) return folder;
    return folder.substr(0, slash + 1);
}

}  // namespace

ResultCode FtpConnection::ChangeCurrentFolder(const WideString &name) {
    if (Is(name, ".")) return ApiOk;
    // A longer name could be entered but never recorded as the current folder.
    if (name.size() > kLongestFolderPath) return ApiFolderUnavailable;

    bool entered = services.FtpSetCurrentDirectory(ftpHandle, name.c_str());
    if (!entered && services.FtpCreateDirectory(ftpHandle, name.c_str())) {
        entered = services.FtpSetCurrentDirectory(ftpHandle, name.c_str());
    }
    std::array<WideChar, kFolderPathCapacity> answer{};
    uint32_t length = kFolderPathCapacity;
    if (!entered) {
        // Asked only to keep the exchange as it always was; the answer is not used.
        services.FtpGetCurrentDirectory(ftpHandle, answer.data(), &length);
        return ApiFolderUnavailable;
    }

    WideString fallback = Is(name, "..") ? ParentFallback(currentFolder) : name;
    if (fallback.size() > kLongestFolderPath) fallback.resize(kLongestFolderPath);
    if (services.FtpGetCurrentDirectory(ftpHandle, answer.data(), &length)) {
        answer.back() = 0;
        const auto end = std::find(answer.begin(), answer.end(), WideChar{0});
        currentFolder.assign(answer.begin(), end);
    } else {
        currentFolder = std::move(fallback);
    }
    return RefreshListing(currentFolder.c_str());
}

}  // namespace sapi
