#include "FakeWorld.h"

#include "ftp/services/WinInetConstants.h"

namespace sapi::contract {

using namespace sapi::wininet;
using testing::FakeFtpClientServices;
using testing::FakeListing;
using testing::FakeOutcome;
using testing::FakeRead;

namespace {

std::string ParentOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string &path) { return path.substr(path.rfind('/') + 1); }

bool StartsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

// ---- the server's files ------------------------------------------------------

ServerLogin FakeWorld::Login() {
    return {WideFromAscii("fake.example"), 21, WideFromAscii("user"), WideFromAscii("pass")};
}

void FakeWorld::PutFile(const std::string &path, const std::string &bytes) {
    files_["/" + path] = {bytes, bytes.size()};
    MakeFolder(ParentOf("/" + path).substr(1));
}

void FakeWorld::MakeFolder(const std::string &path) {
    for (std::string folder = "/" + path; folder != "/"; folder = ParentOf(folder)) {
        if (folder.back() != '/') folders_.insert(folder);
    }
}

std::optional<std::string> FakeWorld::FileOnServer(const std::string &path) {
    const auto found = files_.find("/" + path);
    if (found == files_.end()) return std::nullopt;
    return found->second.bytes;
}

bool FakeWorld::PutHugeFile(const std::string &path, uint64_t size) {
    PutFile(path, "");
    files_["/" + path].size = size;
    return true;
}

std::string FakeWorld::Resolve(const WideChar *name) const {
    const std::string text = name != nullptr ? Utf8FromWide(WideView(name)) : "";
    std::string path = StartsWith(text, "/") ? "" : current_;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('/', at);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(at, end - at);
        if (part == "..") {
            path = ParentOf(path.empty() ? "/" : path);
        } else if (!part.empty() && part != ".") {
            path += (path.empty() || path.back() != '/' ? "/" : "") + part;
        }
        at = end + 1;
    }
    return path.empty() ? "/" : path;
}

bool FakeWorld::IsFolder(const std::string &path) const { return folders_.count(path) > 0; }

// The server's refusal of the next `call`: 12003 with its reply. Taken back
// after the call, in case the fake refused it first for a reason of its own.
void FakeWorld::Refuse(const std::string &call, const std::string &reply) {
    Script(call, FakeOutcome::Failure(ERROR_INTERNET_EXTENDED_ERROR));
    lastResponse = reply;
}

void FakeWorld::ScriptRetrieval(const std::string &path) {
    const File &file = files_.at(path);
    reads.clear();
    fileSize = file.size;
    confirmsEnd = !StartsWith(BaseName(path), cutShortPrefix);
    if (!confirmsEnd) {
        reads = {FakeRead::Data(file.bytes.substr(0, cutShortBytes)),
                       FakeRead::Failure(ERROR_INTERNET_EXTENDED_ERROR)};
    } else if (!file.bytes.empty()) {
        reads = {FakeRead::Data(file.bytes)};
    }
}

FakeListing FakeWorld::ListingOf(const std::string &folder) const {
    FakeListing listing;
    for (const std::string &each : folders_) {
        if (each != "/" && ParentOf(each) == folder) {
            listing.entries.push_back(testing::FakeFolder(BaseName(each)));
        }
    }
    for (const auto &[path, file] : files_) {
        if (ParentOf(path) == folder) {
            listing.entries.push_back(testing::FakeFile(BaseName(path), file.size));
        }
    }
    return listing;
}

// ---- the services --------------------------------------------------------------

InternetHandle FakeWorld::InternetConnect(InternetHandle internet, const WideChar *serverName,
                                          uint16_t port, const WideChar *userName,
                                          const WideChar *password, uint32_t service,
                                          uint32_t flags, uintptr_t context) {
    InternetHandle connect = FakeFtpClientServices::InternetConnect(internet, serverName, port, userName,
                                                                    password, service, flags, context);
    if (connect != nullptr) current_ = currentDirectory = "/";
    return connect;
}

InternetHandle FakeWorld::FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                           FtpFindData *findData, uint32_t flags, uintptr_t context) {
    listings = {ListingOf(current_)};
    InternetHandle find =
        FakeFtpClientServices::FtpFindFirstFile(connect, searchPattern, findData, flags, context);
    listings.clear();
    return find;
}

bool FakeWorld::FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) {
    const std::string path = Resolve(directory);
    if (!IsFolder(path)) Refuse("FtpSetCurrentDirectory", "550 No such directory.");
    const bool entered = FakeFtpClientServices::FtpSetCurrentDirectory(connect, directory);
    Unscript("FtpSetCurrentDirectory");
    if (entered) current_ = currentDirectory = path;
    return entered;
}

bool FakeWorld::FtpCreateDirectory(InternetHandle connect, const WideChar *directory) {
    const std::string path = Resolve(directory);
    if (IsFolder(path) || files_.count(path) > 0) Refuse("FtpCreateDirectory", "550 File exists.");
    const bool made = FakeFtpClientServices::FtpCreateDirectory(connect, directory);
    Unscript("FtpCreateDirectory");
    if (made) folders_.insert(path);
    return made;
}

bool FakeWorld::FtpCommand(InternetHandle connect, bool expectResponse, uint32_t flags,
                           const WideChar *command, uintptr_t context,
                           InternetHandle *commandHandle) {
    const std::string text = command != nullptr ? Utf8FromWide(WideView(command)) : "";
    if (StartsWith(text, "SIZE ")) {
        const auto file = files_.find(Resolve(WideFromUtf8(text.substr(5)).c_str()));
        if (file == files_.end()) {
            Refuse("FtpCommand", "550 No such file or directory.");
        } else {
            commandReplies = {"213 " + std::to_string(file->second.size)};
        }
    }
    const bool sent =
        FakeFtpClientServices::FtpCommand(connect, expectResponse, flags, command, context, commandHandle);
    Unscript("FtpCommand");
    commandReplies.clear();
    return sent;
}

InternetHandle FakeWorld::FtpOpenFile(InternetHandle connect, const WideChar *fileName,
                                      uint32_t access, uint32_t flags, uintptr_t context) {
    const std::string path = Resolve(fileName);
    const bool reading = access == GENERIC_READ;
    if (reading && files_.count(path) == 0) Refuse("FtpOpenFile", "550 No such file or directory.");
    InternetHandle file = FakeFtpClientServices::FtpOpenFile(connect, fileName, access, flags, context);
    Unscript("FtpOpenFile");
    if (file != nullptr && reading) ScriptRetrieval(path);
    if (file != nullptr && !reading) stores_[file] = {path, written.size()};
    return file;
}

bool FakeWorld::InternetReadFile(InternetHandle file, void *buffer, uint32_t bytesToRead,
                                 uint32_t *bytesRead) {
    const bool read = FakeFtpClientServices::InternetReadFile(file, buffer, bytesToRead, bytesRead);
    if (!read && FakeFtpClientServices::GetLastError() == ERROR_INTERNET_EXTENDED_ERROR) {
        lastResponse = "426 Connection closed; transfer aborted.";
    } else if (read && bytesRead != nullptr && *bytesRead == 0) {
        lastResponse = "226 Transfer complete.";
    }
    return read;
}

bool FakeWorld::FtpDeleteFile(InternetHandle connect, const WideChar *fileName) {
    const std::string path = Resolve(fileName);
    if (files_.count(path) == 0) Refuse("FtpDeleteFile", "550 No such file or directory.");
    const bool deleted = FakeFtpClientServices::FtpDeleteFile(connect, fileName);
    Unscript("FtpDeleteFile");
    if (deleted) files_.erase(path);
    return deleted;
}

bool FakeWorld::InternetCloseHandle(InternetHandle handle) {
    const auto store = stores_.find(handle);
    const bool refused = store != stores_.end() && StartsWith(BaseName(store->second.path), diskFullPrefix);
    if (refused) Refuse("InternetCloseHandle", "426 Transfer aborted; no space left on device.");
    const bool closed = FakeFtpClientServices::InternetCloseHandle(handle);
    Unscript("InternetCloseHandle");
    if (store != stores_.end()) {
        if (closed) {
            const std::string bytes = written.substr(store->second.from);
            files_[store->second.path] = {bytes, bytes.size()};
            lastResponse = "226 Transfer complete.";
        }
        stores_.erase(store);
    }
    return closed;
}

}  // namespace sapi::contract
