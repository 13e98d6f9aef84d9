// The last resort of a listing: names alone.
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

}  // namespace

// Lines came and not one was an entry: the server lists in a format this
// client does not read (VMS's "A.TXT;1  1/3  8-JUN-2004 11:55:38 [GROUP,OWNER]",
// say). An empty folder would hide its files without a word; NLST's names
// show them, as files of unknown size, and a folder among them still opens
// by name. A refused NLST leaves the listing as it was.
SessionError FtpSession::ListNames(const std::string &path, CompactListing &entries) {
    const std::size_t unread = listingLinesDropped_;
    trace_.Note("not one of " + std::to_string(unread) +
                " listing lines was an entry: listing the names alone (NLST), each as a file");
    CompactListing names;
    const SessionError error = ListWith(path.empty() ? "NLST" : "NLST " + path, ListingFormat::Names, names);
    std::size_t dropped = listingLinesDropped_;
    listingLinesDropped_ = unread;
    if (error == SessionError::Refused && NamesRefused(LastReply())) return SessionError::None;
    if (error != SessionError::None) return error;
    if (!AddNamesInFolder(names, path, entries, dropped)) return SessionError::OutOfMemory;
    trace_.Note("NLST listed " + std::to_string(entries.Count()) + " names; " + std::to_string(dropped) +
                " named no entry of the folder");
    return SessionError::None;
}

}  // namespace sapi::ftpclient
