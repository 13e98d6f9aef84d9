#include "ftp/protocol/ListingReader.h"

#include <optional>
#include <utility>

#include "ftp/protocol/DosListParser.h"
#include "ftp/protocol/EplfListParser.h"
#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/MvsListParser.h"
#include "ftp/protocol/NetWareListParser.h"
#include "ftp/protocol/Os2ListParser.h"
#include "ftp/protocol/Os400ListParser.h"
#include "ftp/protocol/Os9ListParser.h"
#include "ftp/protocol/TandemListParser.h"
#include "ftp/protocol/UnixListForms.h"
#include "ftp/protocol/UnixListParser.h"
#include "ftp/protocol/VmsListParser.h"
#include "ftp/protocol/ZvmListParser.h"

namespace sapi::ftpclient {

namespace {

// "total 24", the block count ls prints above its entries.
bool IsUnixTotal(std::string_view line) {
    constexpr std::string_view total = "total ";
    return line.starts_with(total) && ParseUnsigned64(line.substr(total.size())).has_value();
}

// A family's parser whose names are all within the line.
template <std::optional<ListingEntry> (*parse)(std::string_view)>
std::optional<ListingEntry> InLine(std::string_view line, std::string &) {
    return parse(line);
}

constexpr ListingReader::LineParser vms = InLine<ParseVmsListLine>;

// The families beside Unix and DOS, in the order a first line is tried on
// them: each recognises its own lines by their shape, whatever SYST said.
constexpr ListingReader::LineParser otherFamilies[] = {
    InLine<ParseEplfListLine>,  vms,
    InLine<ParseNetWareListLine>, InLine<ParseOs400ListLine>,
    InLine<ParseOs2ListLine>,   InLine<ParseMvsMemberLine>,
    ParseZvmListLine,           InLine<ParseTandemListLine>,
    InLine<ParseOs9ListLine>,   InLine<ParseMvsDataSetLine>,
};

// Lines above or below the entries of some family: no entry, no fault.
bool IsHeader(std::string_view line) {
    return IsUnixTotal(line) || IsVmsHeader(line) || IsMvsHeader(line) || IsTandemHeader(line) || IsOs9Header(line);
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
    const bool added = pending_.empty() && !overlong_ ? true : TakeLineEnd({});
    if (!heldName_.empty()) Drop(std::exchange(heldName_, {}));
    return added;
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

// Each parser's entry goes straight to Keep, which reads it where the parser
// made it: a copy would read it back whole right after the parser wrote it
// field by field, and wait on those stores every line.
bool ListingReader::TakeLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return true;
    switch (dialect_) {
    case Dialect::Mlsd: {
        const MlsdLine read = ReadMlsdLine(line);
        if (read.kind == MlsdLine::Kind::FolderItself) return true;
        return Keep(read.kind == MlsdLine::Kind::Entry ? std::optional(read.entry) : std::nullopt, line);
    }
    case Dialect::Unix:
        if (IsUnixTotal(line)) return true;
        if (const std::optional<ListingEntry> entry = ParseUnixListLine(line)) return Keep(entry, line);
        return Keep(ParseUnixListLineForms(line), line);
    case Dialect::Dos:
        return Keep(ParseDosListLine(line), line);
    case Dialect::Undecided:
        return TakeFirstEntryLine(line);
    case Dialect::Other:
        if (other_ == vms) return TakeVmsLine(line);
        if (IsHeader(line)) return true;
        return Keep(other_(line, scratch_), line);
    case Dialect::Names:
        return Keep(ListingEntry{line, false, 0}, line);
    }
    return true;
}

// A VMS line, or the two halves of one: a name too long for its column
// alone, the rest indented on the next line.
bool ListingReader::TakeVmsLine(std::string_view line) {
    if (!heldName_.empty()) {
        std::string name = std::exchange(heldName_, {});
        if (!line.empty() && IsBlank(line[0])) {
            const std::string whole = name.append(line);
            return Keep(ParseVmsListLine(whole), whole);
        }
        Drop(name);
    }
    if (IsVmsNameAlone(line)) {
        heldName_ = line;
        return true;
    }
    if (IsHeader(line)) return true;
    return Keep(ParseVmsListLine(line), line);
}

// A LIST line before any entry: the first entry decides the dialect.
bool ListingReader::TakeFirstEntryLine(std::string_view line) {
    if (IsVmsNameAlone(line)) {
        dialect_ = Dialect::Other;
        other_ = vms;
        return TakeVmsLine(line);
    }
    if (IsHeader(line)) return true;
    if (const std::optional<ListingEntry> entry = ParseUnixListLine(line)) {
        dialect_ = Dialect::Unix;
        return Keep(entry, line);
    }
    if (const std::optional<ListingEntry> entry = ParseDosListLine(line)) {
        dialect_ = Dialect::Dos;
        return Keep(entry, line);
    }
    if (const std::optional<ListingEntry> entry = ParseUnixListLineForms(line)) {
        dialect_ = Dialect::Unix;
        return Keep(entry, line);
    }
    for (const LineParser parser : otherFamilies) {
        if (const std::optional<ListingEntry> entry = parser(line, scratch_)) {
            dialect_ = Dialect::Other;
            other_ = parser;
            return Keep(entry, line);
        }
    }
    Drop(line);
    return true;
}

// The entry a line gave, added, or the line dropped when it gave none.
bool ListingReader::Keep(const std::optional<ListingEntry> &entry, std::string_view line) {
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
    if (keptDropped_.size() < keptLines && line.size() <= 1024) keptDropped_.emplace_back(line);
}

CompactListing ParseListing(std::string_view data, ListingFormat format, std::size_t *dropped) {
    CompactListing listing;
    ListingReader reader(format, listing);
    if (reader.Feed(data)) reader.Finish();
    if (dropped != nullptr) *dropped = reader.DroppedLines();
    return listing;
}

}  // namespace sapi::ftpclient
