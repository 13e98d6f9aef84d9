// Moving a connection to another remote folder: ".", "..", or any name or path,
// created on the server when it cannot be entered.
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

// Where the server will not say where it is: ".." by the rule above, a path
// from the root as it is, and any other name below the current folder.
WideString FallbackFolder(const WideString &current, const WideString &name) {
    if (Is(name, "..")) return ParentFallback(current);
    if (!name.empty() && name.front() == WideChar{'/'}) return name;
    WideString joined = current;
    if (joined.empty() || joined.back() != WideChar{'/'}) joined.push_back(WideChar{'/'});
    return joined + name;
}

}  // namespace

bool FtpConnection::AskServerFolder(WideString &folder) {
    std::array<WideChar, kFolderPathCapacity> answer{};
    uint32_t length = kFolderPathCapacity;
    if (!services_.FtpGetCurrentDirectory(ftpHandle_, answer.data(), &length)) return false;
    answer.back() = 0;
    folder.assign(answer.data());
    return true;
}

ResultCode FtpConnection::ChangeCurrentFolder(const WideString &name) {
    if (Is(name, ".")) return ApiOk;
    // A longer name could be entered but never recorded as the current folder.
    if (name.size() > kLongestFolderPath) return ApiFolderUnavailable;

    bool entered = services_.FtpSetCurrentDirectory(ftpHandle_, name.c_str());
    if (!entered && services_.FtpCreateDirectory(ftpHandle_, name.c_str())) {
        entered = services_.FtpSetCurrentDirectory(ftpHandle_, name.c_str());
    }
    WideString answer;
    if (!entered) {
        // Asked only to keep the exchange as it always was; the answer is not used.
        AskServerFolder(answer);
        return ApiFolderUnavailable;
    }

    if (AskServerFolder(answer)) {
        currentFolder_ = std::move(answer);
    } else {
        currentFolder_ = FallbackFolder(currentFolder_, name);
        if (currentFolder_.size() > kLongestFolderPath) currentFolder_.resize(kLongestFolderPath);
    }
    return RefreshListing(currentFolder_.c_str());
}

}  // namespace sapi
