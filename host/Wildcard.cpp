#include "Wildcard.h"

namespace sapihost {

bool HasWildcard(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

// Greedy with one point of return: the last '*' seen takes one more character
// whenever what follows it fails to match. Linear enough for names.
bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    size_t p = 0;
    size_t n = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace sapihost
