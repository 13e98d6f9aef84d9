#include "ftp/protocol/UnixListParser.h"

#include "ftp/protocol/ListingText.h"
#include "ftp/protocol/UnixListDate.h"

namespace sapi::ftpclient {

namespace {

// "drwxr-xr-x", "-rw-r--r--+", "lrwxrwxrwx@": a kind and nine permission
// letters, perhaps one mark (ACL, SELinux context, extended attributes), and
// perhaps the link count, where the mark took the blank before it
// ("drwxr-x---+1464"). 'f' is a plain file on some servers.
bool IsModeWord(std::string_view word) {
    const auto isKind = [](char c) {
        switch (c) {
        case '-': case 'd': case 'l': case 'b': case 'c': case 'p': case 's': case 'D': case 'n': case 'f': return true;
        default: return false;
        }
    };
    const auto isPermission = [](char c) {
        switch (c) {
        case '-': case 'r': case 'w': case 'x': case 's': case 'S': case 't': case 'T': case 'l': case 'L': return true;
        default: return false;
        }
    };
    if (word.size() < 10 || !isKind(word[0])) return false;
    for (std::size_t i = 1; i < 10; ++i) {
        if (!isPermission(word[i])) return false;
    }
    std::string_view rest = word.substr(10);
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '.' || rest[0] == '@')) rest.remove_prefix(1);
    return rest.empty() || AllDigits(rest);
}

// "1," of a device's "1,   3".
bool IsMajorNumber(std::string_view word) {
    return word.size() >= 2 && word.back() == ',' && AllDigits(word.substr(0, word.size() - 1));
}

// Whether the words before a date give a size, and which: a number, or a
// device's numbers ("1,   3" or "1,3"), which are no size (0). Either starts
// with a digit, which owners, groups and months mostly do not: only such a
// word is read further. The size comes back apart from the answer: an
// optional would go through memory, and wait there, for most words of
// every line.
bool SizeOf(std::string_view previous, std::string_view beforeThat, uint64_t &size) {
    if (previous.empty() || !IsDigitChar(previous[0])) return false;
    size = 0;
    if (AllDigits(previous)) {
        if (IsMajorNumber(beforeThat)) return true;
        const std::optional<uint64_t> number = ParseUnsigned64(previous);
        size = number.value_or(0);
        return number.has_value();
    }
    const std::size_t comma = previous.find(',');
    return comma != std::string_view::npos && AllDigits(previous.substr(0, comma)) &&
           AllDigits(previous.substr(comma + 1));
}

std::optional<ListingEntry> EntryAfter(std::string_view line, std::size_t dateEnd, uint64_t size) {
    const std::size_t nameBegin = dateEnd + 1;  // exactly one blank
    if (nameBegin >= line.size()) return std::nullopt;
    ListingEntry entry;
    entry.isDirectory = line[0] == 'd';
    entry.size = size;
    std::string_view name = line.substr(nameBegin);
    if (line[0] == 'l') {
        const std::size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos && arrow > 0) name = name.substr(0, arrow);
    }
    entry.name = name;
    return entry;
}

}  // namespace

// Wrappers, so that the fast reader below keeps its own copies inlined.
bool IsUnixModeWord(std::string_view word) { return IsModeWord(word); }

std::optional<ListingEntry> UnixEntryAfter(std::string_view line, std::size_t dateEnd, uint64_t size) {
    return EntryAfter(line, dateEnd, size);
}

std::optional<ListingEntry> ParseUnixListLine(std::string_view line) {
    std::size_t pos = 0;
    if (line.empty() || IsBlank(line[0]) || !IsModeWord(NextWord(line, pos))) return std::nullopt;
    std::string_view beforeThat;
    std::string_view previous;
    for (;;) {
        pos = SkipBlanks(line, pos);
        if (pos == line.size()) return std::nullopt;
        const std::size_t wordBegin = pos;
        const std::string_view word = NextWord(line, pos);
        // No date starts with a number alone (a link count, a numeric owner,
        // the size): those words are passed by without a look for one.
        uint64_t size = 0;
        if (!AllDigits(word) && SizeOf(previous, beforeThat, size)) {
            const std::size_t dateEnd = UnixDateEnd(line, wordBegin);
            if (dateEnd != noDate) return EntryAfter(line, dateEnd, size);
        }
        beforeThat = previous;
        previous = word;
    }
}

}  // namespace sapi::ftpclient
