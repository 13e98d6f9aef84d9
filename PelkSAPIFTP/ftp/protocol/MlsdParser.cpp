#include "ftp/protocol/MlsdParser.h"

#include <string>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

enum class EntryType { File, Directory, Self };

EntryType TypeOf(std::string_view value) {
    if (EqualsIgnoringCase(value, "dir")) return EntryType::Directory;
    if (EqualsIgnoringCase(value, "cdir") || EqualsIgnoringCase(value, "pdir")) return EntryType::Self;
    return EntryType::File;  // file, and the OS.* types such as links
}

// A byte of a fact's name: printable ASCII but '=' and ';' (RFC 3659 facts and
// the servers' own "UNIX.mode", "x.hidden"). The name ends at the '='.
bool IsFactNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > ' ' && byte <= '~' && c != ';';
}

// The facts as they are read: the two this client uses, the rest skipped.
struct Facts {
    EntryType type = EntryType::File;
    uint64_t size = 0;
};

bool TakeFact(std::string_view name, std::string_view value, Facts &found) {
    if (EqualsIgnoringCase(name, "type")) {
        found.type = TypeOf(value);
    } else if (EqualsIgnoringCase(name, "size") && !value.empty()) {
        const std::optional<uint64_t> size = ParseUnsigned64(value);
        if (!size) return false;
        found.size = *size;
    }
    return true;
}

// Takes one "name=value;" off the front of the facts. The value runs to the
// next ';', which must come before the facts end.
bool TakeFirstFact(std::string_view &facts, Facts &found) {
    std::size_t equals = 0;
    while (equals < facts.size() && facts[equals] != '=') {
        if (!IsFactNameByte(facts[equals++])) return false;
    }
    if (equals == 0 || equals == facts.size()) return false;
    const std::size_t end = facts.find(';', equals + 1);
    if (end == std::string_view::npos) return false;
    if (!TakeFact(facts.substr(0, equals), facts.substr(equals + 1, end - equals - 1), found)) return false;
    facts.remove_prefix(end + 1);
    return true;
}

MlsdLine ReadStrictMlsdLine(std::string_view line) {
    MlsdLine read;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= line.size()) return read;
    std::string_view facts = line.substr(0, blank);
    Facts found;
    while (!facts.empty()) {
        if (!TakeFirstFact(facts, found)) return read;
    }
    const std::string_view name = line.substr(blank + 1);
    if (found.type == EntryType::Self) {
        read.kind = MlsdLine::Kind::FolderItself;
        return read;
    }
    // A name with a '/' is no entry of this folder, whatever the server
    // meant: asking for it would reach into another one.
    if (name.find('/') != std::string_view::npos) return read;
    read.kind = MlsdLine::Kind::Entry;
    read.entry = ListingEntry{name, found.type == EntryType::Directory, found.size};
    return read;
}

// Servers built on drafts before the RFC: a TAB between the facts and the
// name, the last fact without its ';'. Tried only on a line the strict
// reading refused, so the strict lines pay nothing for it.
MlsdLine ReadDraftMlsdLine(std::string_view line) {
    MlsdLine read;
    const std::size_t split = line.find_first_of(" \t");
    if (split == 0 || split == std::string_view::npos || split + 1 >= line.size()) return read;
    std::string facts(line.substr(0, split));
    if (facts.back() != ';') facts += ';';
    const MlsdLine strict = ReadStrictMlsdLine(facts + " " + std::string(line.substr(split + 1)));
    if (strict.kind != MlsdLine::Kind::Entry) {
        read.kind = strict.kind;
        return read;
    }
    read.kind = MlsdLine::Kind::Entry;
    read.entry = ListingEntry{line.substr(split + 1), strict.entry.isDirectory, strict.entry.size};
    return read;
}

}  // namespace

MlsdLine ReadMlsdLine(std::string_view line) {
    const MlsdLine read = ReadStrictMlsdLine(line);
    if (read.kind != MlsdLine::Kind::Junk) return read;
    return ReadDraftMlsdLine(line);
}

std::optional<ListingEntry> ParseMlsdLine(std::string_view line) {
    const MlsdLine read = ReadMlsdLine(line);
    if (read.kind != MlsdLine::Kind::Entry) return std::nullopt;
    return read.entry;
}

}  // namespace sapi::ftpclient
