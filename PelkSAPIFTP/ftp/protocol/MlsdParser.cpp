#include "ftp/protocol/MlsdParser.h"

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

enum class EntryType { File, Directory, Self };

EntryType TypeOf(std::string_view value) {
    if (EqualsIgnoringCase(value, "dir")) return EntryType::Directory;
    if (EqualsIgnoringCase(value, "cdir") || EqualsIgnoringCase(value, "pdir")) return EntryType::Self;
    return EntryType::File;  // file, and the OS.* types such as links
}

// A fact's name: printable ASCII without '=' and ';' (RFC 3659 facts and the
// servers' own "UNIX.mode", "x.hidden").
bool IsFactName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (c <= ' ' || c > '~' || c == '=' || c == ';') return false;
    }
    return true;
}

struct MlsdLine {
    bool wellFormed = false;
    EntryType type = EntryType::File;
    ListingEntry entry;
};

bool ReadFact(std::string_view fact, MlsdLine &read) {
    const std::size_t equals = fact.find('=');
    if (equals == std::string_view::npos || !IsFactName(fact.substr(0, equals))) return false;
    const std::string_view name = fact.substr(0, equals);
    const std::string_view value = fact.substr(equals + 1);
    if (EqualsIgnoringCase(name, "type")) {
        read.type = TypeOf(value);
        read.entry.isDirectory = read.type == EntryType::Directory;
    } else if (EqualsIgnoringCase(name, "size") && !value.empty()) {
        const std::optional<uint64_t> size = ParseUnsigned64(value);
        if (!size) return false;
        read.entry.size = *size;
    }
    return true;
}

MlsdLine ReadLine(std::string_view line) {
    MlsdLine read;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= line.size()) return read;
    std::string_view facts = line.substr(0, blank);
    if (!facts.empty() && facts.back() != ';') return read;
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        if (!ReadFact(facts.substr(0, end), read)) return read;
        facts.remove_prefix(end + 1);
    }
    read.entry.name = line.substr(blank + 1);
    read.wellFormed = true;
    return read;
}

}  // namespace

std::optional<ListingEntry> ParseMlsdLine(std::string_view line) {
    const MlsdLine read = ReadLine(line);
    if (!read.wellFormed || read.type == EntryType::Self) return std::nullopt;
    // A name with a '/' is no entry of this folder, whatever the server
    // meant: asking for it would reach into another one.
    if (read.entry.name.find('/') != std::string_view::npos) return std::nullopt;
    return read.entry;
}

bool IsMlsdFolderItself(std::string_view line) {
    const MlsdLine read = ReadLine(line);
    return read.wellFormed && read.type == EntryType::Self;
}

}  // namespace sapi::ftpclient
