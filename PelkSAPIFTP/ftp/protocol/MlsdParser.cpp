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

}  // namespace

std::optional<ListingEntry> ParseMlsdLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= line.size()) return std::nullopt;
    ListingEntry entry;
    entry.name = std::string(line.substr(blank + 1));
    std::string_view facts = line.substr(0, blank);
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        facts = end == std::string_view::npos ? std::string_view{} : facts.substr(end + 1);
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = fact.substr(0, equals);
        const std::string_view value = fact.substr(equals + 1);
        if (EqualsIgnoringCase(name, "type")) {
            const EntryType type = TypeOf(value);
            if (type == EntryType::Self) return std::nullopt;
            entry.isDirectory = type == EntryType::Directory;
        } else if (EqualsIgnoringCase(name, "size")) {
            entry.size = ParseUnsigned64(value).value_or(0);
        }
    }
    return entry;
}

}  // namespace sapi::ftpclient
