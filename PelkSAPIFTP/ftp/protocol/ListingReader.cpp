#include "ftp/protocol/ListingReader.h"

#include <optional>

#include "ftp/protocol/DosListParser.h"
#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/UnixListParser.h"

namespace sapi::ftpclient {

namespace {

// "total 24", the block count ls prints above its entries.
bool IsUnixTotal(std::string_view line) {
    constexpr std::string_view total = "total ";
    return line.starts_with(total) && ParseUnsigned64(line.substr(total.size())).has_value();
}

}  // namespace

ListingReader::Dialect ListingReader::DialectOf(ListingFormat format) {
    switch (format) {
    case ListingFormat::Mlsd: return Dialect::Mlsd;
    case ListingFormat::Names: return Dialect::Names;
    case ListingFormat::List: break;
    }
    return Dialect::Undecided;
}

bool ListingReader::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            KeepPart(bytes);
            return true;
        }
        const std::string_view head = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        if (!TakeLineEnd(head)) return false;
    }
    return true;
}

bool ListingReader::Finish() {
    if (pending_.empty() && !overlong_) return true;
    return TakeLineEnd({});
}

// A piece that ends before its line does: kept until the rest arrives, unless
// the line has already grown past what any entry needs.
void ListingReader::KeepPart(std::string_view part) {
    if (overlong_) return;
    if (pending_.size() + part.size() > maxLineBytes) {
        overlong_ = true;
        // One byte more than an excerpt shows, so that it says the line goes on.
        std::string start = pending_.substr(0, excerptBytes + 1);
        start.append(part.substr(0, excerptBytes + 1 - start.size()));
        pending_.swap(start);  // the long line's memory goes with `start`
        return;
    }
    pending_.append(part);
}

// The last part of a line, before its line end.
bool ListingReader::TakeLineEnd(std::string_view head) {
    if (pending_.empty() && !overlong_) {
        if (head.size() <= maxLineBytes) return TakeLine(head);
        Drop(head);
        return true;
    }
    KeepPart(head);
    if (overlong_) {
        overlong_ = false;
        Drop(pending_);
        pending_.clear();
        return true;
    }
    const bool added = TakeLine(pending_);
    pending_.clear();
    return added;
}

bool ListingReader::TakeLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return true;
    std::optional<ListingEntry> entry;
    switch (dialect_) {
    case Dialect::Mlsd: {
        const MlsdLine read = ReadMlsdLine(line);
        if (read.kind == MlsdLine::Kind::FolderItself) return true;
        if (read.kind == MlsdLine::Kind::Entry) entry = read.entry;
        break;
    }
    case Dialect::Unix:
        if (IsUnixTotal(line)) return true;
        entry = ParseUnixListLine(line);
        break;
    case Dialect::Dos:
        entry = ParseDosListLine(line);
        break;
    case Dialect::Undecided:
        if (IsUnixTotal(line)) return true;
        if ((entry = ParseUnixListLine(line))) {
            dialect_ = Dialect::Unix;
        } else if ((entry = ParseDosListLine(line))) {
            dialect_ = Dialect::Dos;
        }
        break;
    case Dialect::Names:
        entry = ListingEntry{line, false, 0};
        break;
    }
    // A NUL cannot be part of a name on any server's disk; a line holding one
    // is junk that happens to look like an entry.
    if (!entry || entry->name.find('\0') != std::string_view::npos) {
        Drop(line);
        return true;
    }
    return into_.Add(*entry);
}

void ListingReader::Drop(std::string_view line) {
    if (dropped_++ == 0) firstDropped_ = PrintableExcerpt(line, excerptBytes);
}

CompactListing ParseListing(std::string_view data, ListingFormat format, std::size_t *dropped) {
    CompactListing listing;
    ListingReader reader(format, listing);
    if (reader.Feed(data)) reader.Finish();
    if (dropped != nullptr) *dropped = reader.DroppedLines();
    return listing;
}

}  // namespace sapi::ftpclient
