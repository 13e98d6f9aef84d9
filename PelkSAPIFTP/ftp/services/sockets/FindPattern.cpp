#include "ftp/services/sockets/FindPattern.h"

namespace sapi::ftpclient {

FindPattern SplitFindPattern(WideView pattern) {
    FindPattern split;
    const std::size_t slash = pattern.find_last_of(SAPI_WIDE("/"));
    const WideView last = slash == WideView::npos ? pattern : pattern.substr(slash + 1);
    if (last.find_first_of(SAPI_WIDE("*?")) == WideView::npos) {
        split.listPath = WideString(pattern);
        return split;
    }
    split.filter = WideString(last);
    if (slash != WideView::npos) split.listPath = WideString(pattern.substr(0, slash == 0 ? 1 : slash));
    return split;
}

bool MatchesWildcard(WideView name, WideView pattern) {
    // Iterative match with one backtrack point: linear in practice, and a
    // hostile pattern of many stars cannot make it explode.
    std::size_t n = 0, p = 0, starP = WideView::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != WideView::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace sapi::ftpclient
