#include "ftp/protocol/NameList.h"

#include "ftp/protocol/UnixListParser.h"

namespace sapi::ftpclient {

namespace {

// "pub/a.txt" after NLST pub, "/pub/a.txt" after NLST /pub, "/a.txt" after
// NLST /: the name after the folder's part.
std::string_view AfterFolder(std::string_view listed, std::string_view folder) {
    if (folder.empty()) return listed;
    while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
    const bool inFolder = listed.size() > folder.size() && listed.substr(0, folder.size()) == folder &&
                          listed[folder.size()] == '/';
    return inFolder ? listed.substr(folder.size() + 1) : listed;
}

}  // namespace

std::optional<std::string_view> NameInFolder(std::string_view listed, std::string_view folder) {
    std::string_view name = AfterFolder(listed, folder);
    if (name.substr(0, 2) == "./") name.remove_prefix(2);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos) return std::nullopt;
    return name;
}

bool AddNamesInFolder(const CompactListing &names, std::string_view folder, CompactListing &into,
                      std::size_t &dropped) {
    for (std::size_t i = 0; i < names.Count(); ++i) {
        const std::optional<std::string_view> name = NameInFolder(names.At(i).name, folder);
        if (!name) {
            ++dropped;
        } else if (!into.Add(ListingEntry{*name, false, 0})) {
            return false;
        }
    }
    return true;
}

std::optional<bool> KindInUnreadLines(const std::vector<std::string> &lines, std::string_view name) {
    for (const std::string &line : lines) {
        if (line.size() <= name.size() + 1 || !line.ends_with(name)) continue;
        const std::string_view head = std::string_view(line).substr(0, line.size() - name.size());
        if (head.back() != ' ' && head.back() != '\t') continue;
        if (IsUnixModeWord(head.substr(0, head.find(' ')))) return head[0] == 'd';
        if (head.find(" <DIR> ") != std::string_view::npos) return true;
    }
    return std::nullopt;
}

}  // namespace sapi::ftpclient
