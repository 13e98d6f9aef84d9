// Reading a folder's listing into the connection's two lists.
#include <utility>

#include "ftp/FtpConnection.h"
#include "ftp/services/TlsOptions.h"
#include "ftp/services/WinInetConstants.h"
#include "parameters/ParameterAccess.h"
#include "parameters/ParameterKeys.h"

namespace sapi {

using namespace sapi::wininet;

namespace {

// The find handle of one listing, closed on every way out (an exhausted heap
// while the names are copied included), so no listing stays open on the
// connection.
class FindHandle {
public:
    FindHandle(FtpClientServices &services, InternetHandle handle)
        : services_(services), handle_(handle) {}
    ~FindHandle() {
        if (handle_ != nullptr) services_.InternetCloseHandle(handle_);
    }
    FindHandle(const FindHandle &) = delete;
    FindHandle &operator=(const FindHandle &) = delete;

    InternetHandle get() const { return handle_; }

private:
    FtpClientServices &services_;
    InternetHandle handle_;
};

// A record's name stops at its terminator, or at 259 characters should a client
// ever hand one over without it.
WideView NameOf(const FtpFindData &record) {
    std::size_t length = 0;
    while (length < MAX_PATH - 1 && record.fileName[length] != 0) ++length;
    return WideView(record.fileName, length);
}

// Lines of the listing the client could not read, and what it did about
// them; empty from a client that reads every line or cannot say (WinInet).
WideString ListingNote(FtpClientServices &services, InternetHandle connect) {
    if (!services.OffersListingNotes()) return {};
    constexpr uint32_t maxCharacters = 256;
    WideChar text[maxCharacters] = {};
    uint32_t length = sizeof text - sizeof(WideChar);
    if (!services.InternetQueryOption(connect, SAPI_OPTION_FTP_LISTING_NOTE, text, &length)) return {};
    return WideString(text, length / sizeof(WideChar));
}

}  // namespace

ResultCode FtpConnection::RefreshListing(const WideChar *searchPattern) {
    folders_.clear();
    assets_.clear();

    FtpFindData record{};
    const FindHandle find(services_, services_.FtpFindFirstFile(ftpHandle_, searchPattern, &record,
                                                              INTERNET_FLAG_RELOAD |
                                                                  INTERNET_FLAG_NO_CACHE_WRITE,
                                                              Context()));
    if (find.get() == nullptr) {
        // An empty folder is a listing too, just one without entries.
        const bool empty = services_.GetLastError() == ERROR_NO_MORE_FILES;
        WriteOrRemoveParameter(verifyResultSet_, ServerListingNoteKey,
                               empty ? ListingNote(services_, ftpHandle_) : WideString());
        return empty ? ApiOk : ApiFailed;
    }
    WriteOrRemoveParameter(verifyResultSet_, ServerListingNoteKey, ListingNote(services_, ftpHandle_));
    // Entries are kept as the server sent them, "." and ".." included. Whatever
    // ends the walk (the end, or a connection lost midway) ends it quietly with
    // what was read so far.
    do {
        const bool isFolder = (record.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        (isFolder ? folders_ : assets_).push_back(NameOf(record));
    } while (services_.InternetFindNextFile(find.get(), &record));
    return ApiOk;
}

}  // namespace sapi
