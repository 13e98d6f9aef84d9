// A listing completed by name: whatever lines of a LIST or MLSD this client
// could not read, NLST still names their files.
#include <unordered_set>

#include "ftp/protocol/NameList.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

// "550 No files found", "450 No files", "502 Not implemented": the server
// will not name the files, and the listing stays what LIST made of it. Any
// other failure ("421" as the server closes, "425" or "426" for the data
// connection, the connection lost) is the listing's own: an empty or partial
// folder shown as whole would hide entries without a word.
bool NamesRefused(const FtpReply &reply) { return reply.code == 450 || (reply.code >= 500 && reply.code < 600); }

// VMS's LIST names a folder "LOGS" where its NLST says "LOGS.DIR;1".
std::string_view VmsFolderStem(std::string_view name) {
    const std::size_t dir = name.rfind(".DIR;");
    return dir == std::string_view::npos ? name : name.substr(0, dir);
}

// The names NLST gave that no entry read from the lines has, in NLST's order.
std::vector<ListingEntry> NamesNotListed(const CompactListing &names, const std::string &path,
                                         const CompactListing &entries, std::size_t &dropped) {
    std::unordered_set<std::string_view> listed;
    listed.reserve(entries.Count());
    for (std::size_t i = 0; i < entries.Count(); ++i) listed.insert(entries.At(i).name);
    std::vector<ListingEntry> missing;
    for (std::size_t i = 0; i < names.Count(); ++i) {
        const std::optional<std::string_view> name = NameInFolder(names.At(i).name, path);
        if (!name) {
            ++dropped;
        } else if (listed.count(VmsFolderStem(*name)) == 0 && listed.insert(*name).second) {
            missing.push_back(ListingEntry{*name, false, 0});
        }
    }
    return missing;
}

// Names whose unread line still shows their kind (a Unix mode, "<DIR>") are
// added at once, with nothing asked; the others go to `unknown`. False when
// the listing outgrew its limit.
bool AddKnownKinds(const std::vector<ListingEntry> &missing, const std::vector<std::string> &unreadLines,
                   CompactListing &entries, std::vector<ListingEntry> &unknown) {
    for (const ListingEntry &entry : missing) {
        const std::optional<bool> folder = KindInUnreadLines(unreadLines, entry.name);
        if (!folder) {
            unknown.push_back(entry);
        } else if (!entries.Add(ListingEntry{entry.name, *folder, 0})) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Some lines came that were no entry in their format: a server in a dialect
// this client does not read (all of them), or an odd line among ordinary
// ones. A folder shown without those entries would hide files without a
// word; the names NLST gives that the lines did not become entries, of the
// kind the server tells where that is cheap, files otherwise. A refused NLST
// leaves the listing as it was.
SessionError FtpSession::ListNames(const std::string &path, CompactListing &entries) {
    const std::size_t unread = listingLinesDropped_;
    trace_.Note(std::to_string(unread) + " listing lines not understood: completing the listing by name (NLST)");
    const std::vector<std::string> unreadLines = std::move(unreadLines_);
    CompactListing names;
    const SessionError error = ListWith(path.empty() ? "NLST" : "NLST " + path, ListingFormat::Names, names);
    std::size_t dropped = listingLinesDropped_;
    listingLinesDropped_ = unread;
    const std::string lines = std::to_string(unread) + (unread == 1 ? " listing line was" : " listing lines were");
    if (error == SessionError::Refused && NamesRefused(LastReply())) {
        listingNote_ = lines + " not understood, and the server would not name its files: entries may be missing";
        return SessionError::None;
    }
    if (error != SessionError::None) return error;
    const std::vector<ListingEntry> missing = NamesNotListed(names, path, entries, dropped);
    std::vector<ListingEntry> unknown;
    if (!AddKnownKinds(missing, unreadLines, entries, unknown)) return SessionError::OutOfMemory;
    if (const SessionError probed = LearnKinds(path, unknown)) return probed;
    for (const ListingEntry &entry : unknown) {
        if (!entries.Add(entry)) return SessionError::OutOfMemory;
    }
    listingNamesAdded_ = missing.size();
    listingNote_ = lines + " not understood; completed by name: " + std::to_string(missing.size()) +
                   (missing.size() == 1 ? " entry" : " entries") + " added";
    trace_.Note("NLST completed the listing with " + std::to_string(missing.size()) + " names; " +
                std::to_string(dropped) + " named no entry of the folder");
    return SessionError::None;
}

}  // namespace sapi::ftpclient
