// A whole listing as it comes over the data connection, fed in pieces of any
// size: split into lines (CR LF or LF), each line read by the parser of the
// listing's dialect, and each entry added to a CompactListing.
//
// One dialect reads the whole listing. MLSD has one; for LIST, the first line
// that is an entry in the Unix or the DOS format, or in a family of its own
// (EPLF, VMS, NetWare, OS/400, OS/2, MVS, z/VM, Tandem, OS-9), decides, and every later line is
// read in that format alone; a Unix line the fast reader does not take gets a
// second try at the rarer forms (UnixListForms.h). A line that is not a well-formed entry in its
// format (junk, a cut line, a line of the other dialect, a name holding a NUL)
// becomes no entry: it is dropped and counted, and the first one kept, so
// that a trace can say so and show it. Headers ("total N" of a Unix listing,
// VMS's "Directory ..." and "Total of ...", the column names of MVS, Tandem
// and OS-9) and empty
// lines are no entries and no fault.
//
// NLST's names alone come in as Names: each line is a name, of unknown kind.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/protocol/CompactListing.h"

namespace sapi::ftpclient {

enum class ListingFormat { Mlsd, List, Names };

class ListingReader {
public:
    // A line longer than this is dropped: no entry of a name a client can
    // use needs a tenth of it, and a server cannot make the reader hold more.
    static constexpr std::size_t maxLineBytes = 16 * 1024;

    // How much of the first dropped line is kept to be shown.
    static constexpr std::size_t excerptBytes = 160;
    // How many dropped lines are kept whole (those of up to 1 KiB), for the
    // names NLST gives to be found in them.
    static constexpr std::size_t keptLines = 64;

    // A family's parser; `scratch` holds a name made of parts of the line.
    using LineParser = std::optional<ListingEntry> (*)(std::string_view line, std::string &scratch);

    ListingReader(ListingFormat format, CompactListing &into) : dialect_(DialectOf(format)), into_(into) {}

    // False when the listing outgrew CompactListing::maxBytes.
    bool Feed(std::string_view bytes);
    // The data connection closed: a last line without its line end counts too.
    bool Finish();

    std::size_t DroppedLines() const { return dropped_; }
    // The start of the first dropped line, control bytes written as "\x01".
    const std::string &FirstDroppedLine() const { return firstDropped_; }
    // The first dropped lines, whole; taken by the caller.
    std::vector<std::string> TakeDroppedLines() { return std::move(keptDropped_); }

private:
    enum class Dialect { Undecided, Mlsd, Unix, Dos, Other, Names };
    static Dialect DialectOf(ListingFormat format);

    void KeepPart(std::string_view part);
    bool TakeLineEnd(std::string_view head);
    bool TakeLine(std::string_view line);
    bool TakeFirstEntryLine(std::string_view line);
    bool TakeVmsLine(std::string_view line);
    bool Keep(const std::optional<ListingEntry> &entry, std::string_view line);
    void Drop(std::string_view line);

    Dialect dialect_;
    LineParser other_ = nullptr;  // the family's parser, for Dialect::Other
    CompactListing &into_;
    std::string pending_;       // the start of a line cut by the end of a piece
    bool overlong_ = false;     // the line passed maxLineBytes: only its start is kept
    std::string heldName_;      // a VMS name alone on its line, its entry on the next
    std::size_t dropped_ = 0;
    std::string firstDropped_;
    std::vector<std::string> keptDropped_;
    std::string scratch_;
};

// The whole listing at once (tests, fuzzing). `dropped` gets the count of
// dropped lines when given.
CompactListing ParseListing(std::string_view data, ListingFormat format, std::size_t *dropped = nullptr);

}  // namespace sapi::ftpclient
