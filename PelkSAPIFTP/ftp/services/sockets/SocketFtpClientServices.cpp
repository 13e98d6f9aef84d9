#include "ftp/services/sockets/SocketFtpClientServices.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "ftp/services/ControlText.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"
#include "ftp/services/sockets/CancelWatch.h"
#include "ftp/services/sockets/FindPattern.h"
#include "ftp/services/sockets/LastError.h"
#include "ftp/protocol/QuotedPath.h"

namespace sapi::ftpclient {

using namespace sapi::wininet;

namespace {

constexpr std::size_t maxFileName = MAX_PATH - 1;

InternetHandle FailHandle(uint32_t error) {
    SetThreadError(error);
    return nullptr;
}

bool FailBool(uint32_t error) {
    SetThreadError(error);
    return false;
}

std::string Utf8Of(const WideChar *text) { return text ? Utf8FromWide(WideView(text)) : std::string(); }

// Text out as WinInet hands it: with its terminator, or, when the buffer is
// missing or too small, ERROR_INSUFFICIENT_BUFFER and the characters needed
// with it. *length is in characters both ways, without the terminator on success.
bool CopyOut(const WideString &text, WideChar *buffer, uint32_t *length) {
    if (buffer == nullptr || text.size() + 1 > *length) {
        *length = static_cast<uint32_t>(text.size() + 1);
        return FailBool(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    *length = static_cast<uint32_t>(text.size());
    return true;
}

// The one place where the session's errors become WinInet's numbers.
uint32_t WinInetErrorOf(TlsVerdict verdict) {
    switch (verdict) {
    case TlsVerdict::Expired: return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case TlsVerdict::NameMismatch: return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case TlsVerdict::UnknownIssuer: return ERROR_INTERNET_INVALID_CA;
    case TlsVerdict::FingerprintMismatch:
    case TlsVerdict::Untrusted: return ERROR_INTERNET_SEC_CERT_ERRORS;
    case TlsVerdict::Trusted:
    case TlsVerdict::HandshakeFailed: break;
    }
    return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
}

uint32_t WinInetErrorOf(SessionError error) {
    switch (error.What()) {
    case SessionError::None: return ERROR_SUCCESS;
    case SessionError::NameNotResolved: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case SessionError::CannotConnect: return ERROR_INTERNET_CANNOT_CONNECT;
    case SessionError::TimedOut: return ERROR_INTERNET_TIMEOUT;
    case SessionError::ConnectionLost:
    case SessionError::Unusable: return ERROR_INTERNET_CONNECTION_ABORTED;
    case SessionError::Refused: return ERROR_INTERNET_EXTENDED_ERROR;
    case SessionError::LoginRefused: return ERROR_INTERNET_INCORRECT_PASSWORD;
    case SessionError::TransferInProgress: return ERROR_FTP_TRANSFER_IN_PROGRESS;
    case SessionError::WrongTransfer: return ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
    case SessionError::InvalidArgument: return ERROR_INVALID_PARAMETER;
    case SessionError::OutOfMemory: return ERROR_NOT_ENOUGH_MEMORY;
    case SessionError::NotSecure: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    // The connection can no longer serve the host where it asked: as good as
    // lost, and never a refusal a caller may take lightly.
    case SessionError::NotResumed:
    case SessionError::NotFollowed:
    case SessionError::FolderLost: return ERROR_INTERNET_CONNECTION_ABORTED;
    case SessionError::DigestMismatch:
    case SessionError::NoDigest:
    case SessionError::OutOfStep: return ERROR_INTERNET_EXTENDED_ERROR;
    }
    return ERROR_INTERNET_INTERNAL_ERROR;
}

// The record's fields are set one by one: what lies past the name's
// terminator is nobody's business, and clearing all 260 units of every
// record would cost more than the name.
bool ToFindData(const ListingEntry &entry, const WideString &name, FtpFindData &data) {
    if (name.empty() || name.size() > maxFileName) return false;
    data.fileAttributes = entry.isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data.fileSizeHigh = static_cast<uint32_t>(entry.size >> 32);
    data.fileSizeLow = static_cast<uint32_t>(entry.size);
    std::copy(name.begin(), name.end(), data.fileName);
    data.fileName[name.size()] = 0;
    return true;
}

// The next entry of a find that makes a record: a name that fits cFileName
// and matches the filter.
bool NextRecord(FindObject &find, FtpFindData &data) {
    while (find.nextEntry < find.listing.Count()) {
        // Each entry is read once: what lies behind goes back to the heap
        // while the caller copies the listing out.
        find.listing.ReleaseBefore(find.nextEntry);
        const ListingEntry entry = find.listing.At(find.nextEntry++);
        find.scratch.clear();
        find.names->Decode(entry.name, find.scratch);
        if (ToFindData(entry, find.scratch, data) &&
            (find.filter.empty() || MatchesWildcard(find.scratch, find.filter))) {
            return true;
        }
    }
    return false;
}

// What a search text lists. The folder the server is in is listed as the
// current folder, with no argument, whatever its name holds: a folder named
// "What?" or "*" is a folder, not a pattern, and a server that globs the
// argument of LIST never sees it.
FindPattern PatternOf(const ConnectObject &connect, const WideChar *searchPattern) {
    const WideView text = searchPattern ? WideView(searchPattern) : WideView();
    if (!text.empty() && text == connect.serverFolder) return FindPattern{};
    return SplitFindPattern(text);
}

// A call on a session: another call on it waits, and a stop from another
// thread ends this one's waits.
struct SessionCall {
    explicit SessionCall(FtpSession &session) : lock(session.CallLock()), watch(session.StopFlag()) {}

    std::lock_guard<Mutex> lock;
    CancelWatch watch;
};

// The session, for a close: a call running on it in another thread is
// stopped first, so that the wait for it is a fraction of a second (every
// wait of a watched call is cut into slices), never a network timeout.
std::unique_lock<Mutex> StoppedIfBusy(FtpSession &session) {
    std::unique_lock lock(session.CallLock(), std::try_to_lock);
    if (!lock.owns_lock()) {
        session.Stop();
        lock.lock();
    }
    return lock;
}

// Ends a session, also one that a call runs on in another thread. A session
// closed is stopped for good: a call that still holds it (through a find or
// file handle looked up before the close) fails at once, and never opens it
// again.
void CloseSession(FtpSession &session) {
    const std::unique_lock lock = StoppedIfBusy(session);
    session.Close();
    session.Stop();
}

// A find or file handle made from a connect handle: it shares the connection's
// session and inherits its status callback.
template <typename Child>
std::shared_ptr<Child> ChildOf(const ConnectObject &owner, InternetHandle connect) {
    auto child = std::make_shared<Child>(reinterpret_cast<uintptr_t>(connect));
    child->callback = owner.callback;
    child->session = owner.session;
    child->names = owner.names;
    return child;
}

}  // namespace

// Records the outcome of a request on the calling thread: the error, and the
// server's last reply whenever one came, or the session's reason in its place.
bool SocketFtpClientServices::Finish(const SessionOutcome &outcome) {
    if (!outcome.reply.lines.empty()) SetThreadResponse(outcome.reply.Text());
    if (!outcome.error) return true;
    if (!outcome.reason.empty()) SetThreadResponse(outcome.reason);
    if (outcome.tls != nullptr) {
        // WinInet's certificate errors, and the reason for the host to show:
        // one line, then the certificate's fingerprint for a user to pin.
        std::string text = outcome.tls->reason;
        if (!outcome.tls->facts.fingerprint.empty()) text += "\r\nSHA256 Fingerprint=" + outcome.tls->facts.fingerprint;
        SetThreadResponse(text);
        return FailBool(WinInetErrorOf(outcome.tls->verdict));
    }
    return FailBool(WinInetErrorOf(outcome.error));
}

std::shared_ptr<ConnectObject> SocketFtpClientServices::ConnectFor(InternetHandle connect, bool transfersToo) {
    std::shared_ptr<ConnectObject> object = handles_.Find<ConnectObject>(connect);
    if (!object) {
        SetThreadError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const auto key = reinterpret_cast<uintptr_t>(connect);
    if (handles_.HasChild(key, HandleKind::File) || (transfersToo && handles_.HasChild(key, HandleKind::Find))) {
        SetThreadError(ERROR_FTP_TRANSFER_IN_PROGRESS);
        return nullptr;
    }
    return object;
}

InternetHandle SocketFtpClientServices::InternetOpen(const WideChar *, uint32_t, const WideChar *,
                                                     const WideChar *, uint32_t) {
    return handles_.Add(std::make_shared<RootObject>());
}

namespace {

std::string Utf8OfCharacters(const void *buffer, uint32_t length) {
    const auto *text = static_cast<const WideChar *>(buffer);
    return buffer == nullptr ? std::string() : Utf8FromWide(WideView(text, length));
}

// A uint32_t option's value; false when the buffer holds none.
bool NumberOf(const void *buffer, uint32_t length, uint32_t &value) {
    if (buffer == nullptr || length != sizeof value) return false;
    std::memcpy(&value, buffer, sizeof value);
    return true;
}

// One option into the root's settings; false for a value that names no setting.
bool ApplyRootOption(RootObject &root, uint32_t option, const void *buffer, uint32_t length) {
    TlsSettings &tls = root.tls;
    uint32_t number = 0;
    if (option == SAPI_OPTION_FTP_RECONNECT) {
        if (!NumberOf(buffer, length, number)) return false;
        root.reconnect = number != 0;
        return true;
    }
    if (option == SAPI_OPTION_FTP_VERIFY_HASH) {
        if (!NumberOf(buffer, length, number) || number > static_cast<uint32_t>(VerifyMode::Required)) return false;
        root.verify = static_cast<VerifyMode>(number);
        return true;
    }
    if (option == SAPI_OPTION_FTP_FOLLOW_GROWING) {
        if (!NumberOf(buffer, length, number) || number > maxFollowQuietSeconds) return false;
        root.followQuiet = number;
        return true;
    }
    if (option == SAPI_OPTION_FTP_TLS_MODE) {
        if (!NumberOf(buffer, length, number) || number > static_cast<uint32_t>(TlsMode::Implicit)) return false;
        tls.mode = static_cast<TlsMode>(number);
        return true;
    }
    if (option == SAPI_OPTION_FTP_TLS_CA_FILE) {
        tls.caFile = Utf8OfCharacters(buffer, length);
        return true;
    }
    tls.pinned = ParseFingerprint(Utf8OfCharacters(buffer, length));
    return tls.pinned.has_value();
}

}  // namespace

bool SocketFtpClientServices::InternetSetOption(InternetHandle handle, uint32_t option, const void *buffer,
                                                uint32_t length) {
    std::shared_ptr<RootObject> root = handles_.Find<RootObject>(handle);
    if (!root) return FailBool(ERROR_INVALID_HANDLE);
    if (option != SAPI_OPTION_FTP_TLS_MODE && option != SAPI_OPTION_FTP_TLS_CA_FILE &&
        option != SAPI_OPTION_FTP_TLS_FINGERPRINT && option != SAPI_OPTION_FTP_RECONNECT &&
        option != SAPI_OPTION_FTP_VERIFY_HASH && option != SAPI_OPTION_FTP_FOLLOW_GROWING) {
        return FailBool(ERROR_INTERNET_INVALID_OPTION);
    }
    if (!ApplyRootOption(*root, option, buffer, length)) return FailBool(ERROR_INVALID_PARAMETER);
    return true;
}

InternetHandle SocketFtpClientServices::InternetConnect(InternetHandle internet, const WideChar *serverName,
                                                        uint16_t port, const WideChar *userName,
                                                        const WideChar *password, uint32_t service,
                                                        uint32_t flags, uintptr_t) {
    std::shared_ptr<RootObject> root = handles_.Find<RootObject>(internet);
    if (!root) return FailHandle(ERROR_INVALID_HANDLE);
    if (serverName == nullptr || *serverName == 0 || service != INTERNET_SERVICE_FTP) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (!IsSingleLine(userName) || !IsSingleLine(password)) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    auto session = std::make_shared<FtpSession>((flags & INTERNET_FLAG_PASSIVE) != 0, root->tls);
    session->EnableRecovery(root->reconnect);
    session->EnableVerification(root->verify);
    session->EnableFollowing(root->followQuiet);
    const SessionError error = session->Login(Utf8Of(serverName), port == 0 ? INTERNET_DEFAULT_FTP_PORT : port,
                                          Utf8Of(userName), Utf8Of(password));
    if (!Finish(session->Outcome(error))) {
        // Why the connection failed, for the host to show: the thread's last
        // response is otherwise whatever an earlier connection left there.
        if (error != SessionError::NotSecure) SetThreadResponse(session->FailureReason());
        return nullptr;
    }
    SetThreadResponse(session->LoginReply().Text());
    auto connect = std::make_shared<ConnectObject>(reinterpret_cast<uintptr_t>(internet));
    connect->session = std::move(session);
    connect->names = std::make_shared<RemoteNames>();
    return handles_.Add(std::move(connect));
}

InternetStatusCallback SocketFtpClientServices::InternetSetStatusCallback(InternetHandle handle,
                                                                          InternetStatusCallback callback) {
    std::shared_ptr<HandleObject> object = handles_.FindAny(handle);
    if (!object) return INTERNET_INVALID_STATUS_CALLBACK;
    return std::exchange(object->callback, callback);
}

InternetHandle SocketFtpClientServices::FtpFindFirstFile(InternetHandle connect, const WideChar *searchPattern,
                                                         FtpFindData *findData, uint32_t, uintptr_t) {
    std::shared_ptr<ConnectObject> owner = ConnectFor(connect, true);
    if (!owner) return nullptr;
    if (findData == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
    if (!IsSingleLine(searchPattern)) return FailHandle(ERROR_INVALID_PARAMETER);
    const SessionCall call(*owner->session);
    const FindPattern pattern = PatternOf(*owner, searchPattern);
    std::shared_ptr<FindObject> find = ChildOf<FindObject>(*owner, connect);
    const std::string path = owner->names->Encode(pattern.listPath);
    if (!Finish(owner->session->Outcome(owner->session->List(path, find->listing)))) return nullptr;
    find->filter = pattern.filter;
    if (!NextRecord(*find, *findData)) return FailHandle(ERROR_NO_MORE_FILES);
    return handles_.Add(std::move(find));
}

bool SocketFtpClientServices::InternetFindNextFile(InternetHandle find, FtpFindData *findData) {
    std::shared_ptr<FindObject> object = handles_.Find<FindObject>(find);
    if (!object) return FailBool(ERROR_INVALID_HANDLE);
    if (findData == nullptr) return FailBool(ERROR_INVALID_PARAMETER);
    return NextRecord(*object, *findData) || FailBool(ERROR_NO_MORE_FILES);
}

// `done` runs under the session's lock, after a command the server took.
bool SocketFtpClientServices::RunCommand(InternetHandle connect, const char *verb, const WideChar *argument,
                                         void (*done)(ConnectObject &, const WideChar *)) {
    std::shared_ptr<ConnectObject> owner = ConnectFor(connect, false);
    if (!owner) return false;
    if (argument == nullptr || *argument == 0 || !IsSingleLine(argument)) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    FtpReply reply;
    const std::string line = std::string(verb) + " " + owner->names->Encode(argument);
    const SessionCall call(*owner->session);
    if (!Finish(owner->session->Outcome(owner->session->Command(line, reply)))) return false;
    if (done != nullptr) done(*owner, argument);
    return true;
}

bool SocketFtpClientServices::FtpSetCurrentDirectory(InternetHandle connect, const WideChar *directory) {
    return RunCommand(connect, "CWD", directory,
                      [](ConnectObject &owner, const WideChar *entered) { owner.serverFolder = entered; });
}

bool SocketFtpClientServices::FtpCreateDirectory(InternetHandle connect, const WideChar *directory) {
    return RunCommand(connect, "MKD", directory);
}

bool SocketFtpClientServices::FtpDeleteFile(InternetHandle connect, const WideChar *fileName) {
    return RunCommand(connect, "DELE", fileName);
}

bool SocketFtpClientServices::FtpGetCurrentDirectory(InternetHandle connect, WideChar *directory,
                                                     uint32_t *length) {
    std::shared_ptr<ConnectObject> owner = ConnectFor(connect, false);
    if (!owner) return false;
    if (directory == nullptr || length == nullptr) return FailBool(ERROR_INVALID_PARAMETER);
    const SessionCall call(*owner->session);
    FtpReply reply;
    if (!Finish(owner->session->Outcome(owner->session->Command("PWD", reply)))) return false;
    const std::optional<std::string> path =
        reply.code == 257 ? ParseQuotedPath(reply.FirstLineMessage()) : std::nullopt;
    if (!path) {
        owner->session->Note("no usable path in the answer to PWD");
        return FailBool(ERROR_INTERNET_EXTENDED_ERROR);
    }
    owner->serverFolder = owner->names->Decode(*path);
    return CopyOut(owner->serverFolder, directory, length);
}

bool SocketFtpClientServices::FtpCommand(InternetHandle connect, bool expectResponse, uint32_t,
                                         const WideChar *command, uintptr_t, InternetHandle *commandHandle) {
    if (commandHandle) *commandHandle = nullptr;
    std::shared_ptr<ConnectObject> owner = ConnectFor(connect, false);
    if (!owner) return false;
    if (expectResponse || command == nullptr || *command == 0 || !IsSingleLine(command)) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    // "SIZE name": the argument may hold a name that was listed.
    const WideView text(command);
    const std::size_t blank = text.find(WideChar{' '});
    std::string line = Utf8FromWide(text.substr(0, blank));
    if (blank != WideView::npos) line.append(" ").append(owner->names->Encode(text.substr(blank + 1)));
    const SessionCall call(*owner->session);
    FtpReply reply;
    return Finish(owner->session->Outcome(owner->session->Command(line, reply)));
}

bool SocketFtpClientServices::InternetGetLastResponseInfo(uint32_t *error, WideChar *buffer,
                                                          uint32_t *length) {
    if (length == nullptr) return FailBool(ERROR_INVALID_PARAMETER);
    if (error) *error = ThreadError();
    return CopyOut(WideFromUtf8(ThreadResponse()), buffer, length);
}

InternetHandle SocketFtpClientServices::FtpOpenFile(InternetHandle connect, const WideChar *fileName,
                                                    uint32_t access, uint32_t, uintptr_t) {
    std::shared_ptr<ConnectObject> owner = ConnectFor(connect, true);
    if (!owner) return nullptr;
    if (fileName == nullptr || *fileName == 0 || !IsSingleLine(fileName) ||
        (access != GENERIC_READ && access != GENERIC_WRITE)) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    const bool retrieve = access == GENERIC_READ;
    const std::string name = owner->names->Encode(fileName);
    const SessionCall call(*owner->session);
    if (!Finish(owner->session->Outcome(owner->session->OpenTransfer(name, retrieve)))) return nullptr;
    return handles_.Add(ChildOf<FileObject>(*owner, connect));
}

uint32_t SocketFtpClientServices::FtpGetFileSize(InternetHandle file, uint32_t *sizeHigh) {
    std::shared_ptr<FileObject> object = handles_.Find<FileObject>(file);
    if (!object) {
        SetThreadError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    const SessionCall call(*object->session);
    const std::optional<uint64_t> size = object->session->TransferSize();
    if (!size || !object->session->TransferIsRetrieval()) {
        SetThreadError(ERROR_INTERNET_INVALID_OPERATION);
        return INVALID_FILE_SIZE;
    }
    if (sizeHigh) *sizeHigh = static_cast<uint32_t>(*size >> 32);
    const auto low = static_cast<uint32_t>(*size);
    if (low == INVALID_FILE_SIZE) SetThreadError(ERROR_SUCCESS);  // tells a real size from a failure
    return low;
}

bool SocketFtpClientServices::InternetReadFile(InternetHandle file, void *buffer, uint32_t bytesToRead,
                                               uint32_t *bytesRead) {
    std::shared_ptr<FileObject> object = handles_.Find<FileObject>(file);
    if (!object) return FailBool(ERROR_INVALID_HANDLE);
    if (bytesRead == nullptr || (buffer == nullptr && bytesToRead > 0)) return FailBool(ERROR_INVALID_PARAMETER);
    *bytesRead = 0;
    const SessionCall call(*object->session);
    return Finish(object->session->Outcome(object->session->Read(buffer, bytesToRead, *bytesRead)));
}

bool SocketFtpClientServices::InternetWriteFile(InternetHandle file, const void *buffer, uint32_t bytesToWrite,
                                                uint32_t *bytesWritten) {
    std::shared_ptr<FileObject> object = handles_.Find<FileObject>(file);
    if (!object) return FailBool(ERROR_INVALID_HANDLE);
    if (bytesWritten == nullptr || (buffer == nullptr && bytesToWrite > 0)) {
        return FailBool(ERROR_INVALID_PARAMETER);
    }
    *bytesWritten = 0;
    const SessionCall call(*object->session);
    return Finish(object->session->Outcome(object->session->Write(buffer, bytesToWrite, *bytesWritten)));
}

bool SocketFtpClientServices::InternetCloseHandle(InternetHandle handle) {
    std::vector<std::shared_ptr<HandleObject>> removed = handles_.Remove(handle);
    if (removed.empty()) return FailBool(ERROR_INVALID_HANDLE);
    // Closing a connect (or root) handle ends its sessions and with them any
    // transfer still open, whatever thread it runs on; a file handle closed
    // on its own ends its transfer.
    for (const std::shared_ptr<HandleObject> &object : removed) {
        if (const auto connect = As<ConnectObject>(object)) CloseSession(*connect->session);
    }
    const std::shared_ptr<FileObject> self = As<FileObject>(removed.back());
    if (!self) return true;
    // From another thread while a read or write runs: that call is stopped,
    // and with it the session, rather than waited out.
    const std::unique_lock lock = StoppedIfBusy(*self->session);
    const CancelWatch watch(self->session->StopFlag());
    return Finish(self->session->Outcome(self->session->CloseTransfer()));
}

bool SocketFtpClientServices::InternetQueryOption(InternetHandle handle, uint32_t option, void *buffer,
                                                  uint32_t *length) {
    std::shared_ptr<HandleObject> object = handles_.FindAny(handle);
    if (!object) return FailBool(ERROR_INVALID_HANDLE);
    if (option == SAPI_OPTION_FTP_VERIFICATION || option == SAPI_OPTION_FTP_LISTING_NOTE) {
        return QuerySessionText(object, option, buffer, length);
    }
    if (option == SAPI_OPTION_FTP_SEND_AGAIN) return QuerySendAgain(object, buffer, length);
    if (option != TransferConfirmedOption) return FailBool(ERROR_INTERNET_INVALID_OPTION);
    const std::shared_ptr<FileObject> file = As<FileObject>(object);
    if (!file) return FailBool(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const SessionCall call(*file->session);
    if (!file->session->TransferIsRetrieval()) {
        return FailBool(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    }
    if (length == nullptr) return FailBool(ERROR_INVALID_PARAMETER);
    const uint32_t confirmed = file->session->TransferConfirmed() ? 1 : 0;
    if (buffer == nullptr || *length < sizeof confirmed) {
        *length = sizeof confirmed;
        return FailBool(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &confirmed, sizeof confirmed);
    *length = sizeof confirmed;
    return true;
}

// Bytes, as WinInet counts an option's length, of UTF-16 text with its terminator.
bool SocketFtpClientServices::QuerySessionText(const std::shared_ptr<HandleObject> &object, uint32_t option,
                                               void *buffer, uint32_t *length) {
    const std::shared_ptr<ConnectObject> connect = As<ConnectObject>(object);
    if (!connect) return FailBool(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (length == nullptr) return FailBool(ERROR_INVALID_PARAMETER);
    const WideString text = [&] {
        const SessionCall call(*connect->session);
        const FtpSession &session = *connect->session;
        return WideFromUtf8(option == SAPI_OPTION_FTP_VERIFICATION ? session.Verification() : session.ListingNote());
    }();
    const auto bytes = static_cast<uint32_t>((text.size() + 1) * sizeof(WideChar));
    if (buffer == nullptr || *length < bytes) {
        *length = bytes;
        return FailBool(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), bytes);
    *length = bytes - static_cast<uint32_t>(sizeof(WideChar));
    return true;
}

bool SocketFtpClientServices::QuerySendAgain(const std::shared_ptr<HandleObject> &object, void *buffer,
                                             uint32_t *length) {
    const std::shared_ptr<ConnectObject> connect = As<ConnectObject>(object);
    if (!connect) return FailBool(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (buffer == nullptr || length == nullptr || *length < sizeof(uint32_t)) return FailBool(ERROR_INVALID_PARAMETER);
    const SessionCall call(*connect->session);
    const uint32_t again = connect->session->MaySendAgain() ? 1 : 0;
    std::memcpy(buffer, &again, sizeof again);
    *length = sizeof again;
    return true;
}

uint32_t SocketFtpClientServices::GetLastError() { return ThreadError(); }

}  // namespace sapi::ftpclient
