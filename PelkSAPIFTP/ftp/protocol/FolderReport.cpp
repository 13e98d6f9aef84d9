#include "ftp/protocol/FolderReport.h"

#include <vector>

namespace sapi::ftpclient {

namespace {

// The path's names, with "." and empty parts dropped and ".." taking one off.
std::vector<std::string> Parts(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Folded(a[i]) != Folded(b[i])) return false;
    }
    return true;
}

// `inner` is `outer`, or below it when `strictly`.
bool Within(const std::vector<std::string> &inner, const std::vector<std::string> &outer, bool strictly) {
    if (inner.size() < outer.size() || (strictly && inner.size() == outer.size())) return false;
    for (std::size_t i = 0; i < outer.size(); ++i) {
        if (!SameName(inner[i], outer[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> ExpectedFolder(const std::optional<std::string> &from, std::string_view name) {
    if (!name.empty() && name.front() == '/') return std::string(name);
    if (!from) return std::nullopt;
    return (!from->empty() && from->back() == '/' ? *from : *from + "/") + std::string(name);
}

bool ReportExplains(std::string_view reported, std::string_view expected, std::string_view from, bool up) {
    const std::vector<std::string> report = Parts(reported);
    const std::vector<std::string> start = Parts(from);
    if (up) return !Within(report, start, false);
    const std::vector<std::string> wanted = Parts(expected);
    if (Within(report, wanted, false) && report.size() == wanted.size()) return true;
    if (Within(report, wanted, true)) return false;  // deeper than asked
    // A link: the same last name elsewhere (the root has none).
    return !report.empty() && !wanted.empty() && SameName(report.back(), wanted.back());
}

}  // namespace sapi::ftpclient
