#include "ftp/FtpConnection.h"

#include "base/TextCopyOut.h"
#include "ftp/ConnectionFailure.h"
#include "ftp/services/WinInetConstants.h"
#include "platform/ThreadIdentity.h"

namespace sapi {

using namespace sapi::wininet;

FtpConnection::FtpConnection(void *context, bool readTest, FtpClientServices &clientServices)
    : hostContext_(context), verifyByRead_(readTest), services_(clientServices) {}

// The handles go first, so that notifications sent while they close still find
// the object whole; the lists and the folder go with the members, in reverse
// order of declaration (currentFolder_, assets_, folders_).
FtpConnection::~FtpConnection() { CloseHandles(); }

ResultCode FtpConnection::Connect(const WideString &serverName, int32_t port,
                                  const WideString &userName, const WideString &password,
                                  bool usePassive, const TlsRequest &tls) {
    CloseHandles();
    internetHandle_ = services_.InternetOpen(SAPI_WIDE("UserAgent"), INTERNET_OPEN_TYPE_DIRECT,
                                           nullptr, nullptr, INTERNET_FLAG_NO_CACHE_WRITE);
    if (internetHandle_ == nullptr) return ApiInternetOpenFailed;
    // A request for TLS that the client services cannot keep ends here, before
    // anything is sent.
    if (!RequestTls(services_, internetHandle_, tls, failure_)) {
        CloseHandles();
        return ApiConnectFailed;
    }
    // A client that cannot reconnect (WinInet) still connects: the host gets
    // the behaviour it had before it asked.
    if (reconnect_) {
        const uint32_t on = 1;
        services_.InternetSetOption(internetHandle_, SAPI_OPTION_FTP_RECONNECT, &on, sizeof on);
    }
    // Nor does one that cannot ask for digests: it behaves as a server that
    // offers none (Verification.cpp).
    verifyOffered_ = verifyMode_ != 0 && services_.InternetSetOption(internetHandle_, SAPI_OPTION_FTP_VERIFY_HASH,
                                                                    &verifyMode_, sizeof verifyMode_);
    // A client that cannot follow a file ends a retrieval where it always did.
    followOffered_ = followGrowing_ != 0 && services_.InternetSetOption(internetHandle_, SAPI_OPTION_FTP_FOLLOW_GROWING,
                                                                      &followGrowing_, sizeof followGrowing_);

    // The port goes over as the client's 16-bit port number; OpenServer lets
    // through only ports that fit.
    const uint32_t flags = usePassive ? INTERNET_FLAG_PASSIVE : 0;
    ftpHandle_ = services_.InternetConnect(internetHandle_, serverName.c_str(),
                                         static_cast<uint16_t>(port), userName.c_str(),
                                         password.c_str(), INTERNET_SERVICE_FTP, flags, Context());
    if (ftpHandle_ == nullptr) {
        if (tls.Wanted() && IsTlsFailure(services_.GetLastError())) tlsFailure_ = TlsFailureText(services_);
        failure_ = FailureText(services_, serverName, port);
        CloseHandles();
        return ApiConnectFailed;
    }
    state_ = ConnectionState::Open;
    previousStatusCallback_ = services_.InternetSetStatusCallback(ftpHandle_, &StatusCallback);

    // The first listing is of whatever folder the server logged us into. Where
    // that is, only the server knows: a server without a chroot lands a user in
    // a home such as /home/alice. One question per connection; "/" when the
    // server gives no answer.
    const ResultCode result = RefreshListing(nullptr);
    currentFolder_.assign(1, WideChar{'/'});
    if (result != ApiOk) {
        failure_ = SAPI_WIDE("the login folder could not be listed: ") + FailureText(services_, serverName, port);
        CloseHandles();
        return result;
    }
    WideString loginFolder;
    if (AskServerFolder(loginFolder)) {
        if (!loginFolder.empty()) currentFolder_ = std::move(loginFolder);
    } else if (IsConnectionGone(services_.GetLastError())) {
        // A session that went away here is no connection to hand the host.
        failure_ = FailureText(services_, serverName, port);
        CloseHandles();
        return ApiFailed;
    }
    return ApiOk;
}

bool FtpConnection::EnterCall() {
    const uintptr_t self = CurrentThreadIdentity();
    uintptr_t nobody = 0;
    if (caller_.load(std::memory_order_acquire) != self &&
        !caller_.compare_exchange_strong(nobody, self, std::memory_order_acquire)) {
        return false;
    }
    ++callDepth_;
    return true;
}

// The release pairs with the next caller's acquire: what this call left in
// the lists and the folder is what the next one finds.
void FtpConnection::LeaveCall() {
    if (--callDepth_ == 0) caller_.store(0, std::memory_order_release);
}

// Closed once the connect handle is: a notification sent while it closes
// still finds the connection open. Each handle is taken by the one thread
// that closes it; a call still using it on another thread then fails.
void FtpConnection::CloseHandles() {
    if (const InternetHandle ftp = ftpHandle_.exchange(nullptr)) {
        services_.InternetCloseHandle(ftp);
        state_ = ConnectionState::Closed;
    }
    if (const InternetHandle internet = internetHandle_.exchange(nullptr)) services_.InternetCloseHandle(internet);
}

// Nothing of our own happens on a status notification; one that was installed
// before ours is passed everything. The failure value of the install call, and
// our own address, are never called: the first would jump to address -1, the
// second would recurse without end.
void SAPI_WINAPI FtpConnection::StatusCallback(InternetHandle handle, uintptr_t context,
                                               uint32_t status, void *information,
                                               uint32_t informationLength) {
    if (context == 0) return;
    const FtpConnection &connection = *reinterpret_cast<const FtpConnection *>(context);
    const InternetStatusCallback previous = connection.previousStatusCallback_;
    if (previous == nullptr || previous == INTERNET_INVALID_STATUS_CALLBACK ||
        previous == &StatusCallback) {
        return;
    }
    previous(handle, context, status, information, informationLength);
}

namespace {

ResultCode EntryAt(const WideNameList &list, int32_t index, WideChar *text, uint32_t *length) {
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return ApiIndexOutOfRange;
    const WideNameList::Name name = list.At(static_cast<std::size_t>(index));
    return TextCopyOutBy(name.Units(), [&](WideChar *out) { name.CopyTo(out); }, text, length);
}

}  // namespace

ResultCode FtpConnection::FolderAt(int32_t index, WideChar *text, uint32_t *length) const {
    return EntryAt(folders_, index, text, length);
}

ResultCode FtpConnection::AssetAt(int32_t index, WideChar *text, uint32_t *length) const {
    return EntryAt(assets_, index, text, length);
}

WideString FtpConnection::CurrentFolder() const { return currentFolder_; }

// A refusal by the server is not the host's business here, and the cached
// listing keeps the name until the next one is read. A connection that went
// away is: the file is still there, and success would say otherwise.
ResultCode FtpConnection::DeleteRemoteFile(const WideString &name) {
    if (services_.FtpDeleteFile(ftpHandle_, name.c_str())) return ApiOk;
    return IsConnectionGone(services_.GetLastError()) ? ApiFailed : ApiOk;
}

}  // namespace sapi
