#include "Netrc.h"

#include <cctype>
#include <vector>

namespace sapihost {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool SameHost(const std::string &a, const std::string &b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Words split at blanks; "a quoted word" may hold blanks and \" escapes. A
// macro's body runs from its definition to the next empty line and is dropped.
class Tokens {
public:
    explicit Tokens(const std::string &text) : text_(text) {}

    std::optional<std::string> Next() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
        if (at_ >= text_.size()) return std::nullopt;
        std::string word;
        if (text_[at_] == '"') {
            for (++at_; at_ < text_.size() && text_[at_] != '"'; ++at_) {
                if (text_[at_] == '\\' && at_ + 1 < text_.size()) ++at_;
                word.push_back(text_[at_]);
            }
            ++at_;
            return word;
        }
        while (at_ < text_.size() && !IsBlank(text_[at_])) word.push_back(text_[at_++]);
        return word;
    }

    void SkipMacroBody() {
        const size_t end = text_.find("\n\n", at_);
        at_ = end == std::string::npos ? text_.size() : end + 2;
    }

private:
    const std::string &text_;
    size_t at_ = 0;
};

std::vector<NetrcEntry> ReadEntries(const std::string &text) {
    std::vector<NetrcEntry> entries;
    Tokens tokens(text);
    while (auto word = tokens.Next()) {
        if (*word == "machine") {
            entries.push_back({tokens.Next().value_or(""), false, std::nullopt, std::nullopt});
        } else if (*word == "default") {
            entries.push_back({"", true, std::nullopt, std::nullopt});
        } else if (*word == "macdef") {
            tokens.Next();
            tokens.SkipMacroBody();
        } else if (entries.empty()) {
            continue;  // a stray word before any machine: nothing to attach it to
        } else if (*word == "login") {
            entries.back().login = tokens.Next().value_or("");
        } else if (*word == "password") {
            entries.back().password = tokens.Next().value_or("");
        } else if (*word == "account") {
            tokens.Next();
        }
    }
    return entries;
}

}  // namespace

std::optional<NetrcEntry> FindNetrcEntry(const std::string &text, const std::string &host, const std::string &user) {
    const std::vector<NetrcEntry> entries = ReadEntries(text);
    const auto fits = [&](const NetrcEntry &entry) { return user.empty() || !entry.login || *entry.login == user; };
    for (const auto &entry : entries) {
        if (!entry.isDefault && SameHost(entry.machine, host) && fits(entry)) return entry;
    }
    for (const auto &entry : entries) {
        if (entry.isDefault && fits(entry)) return entry;
    }
    return std::nullopt;
}

}  // namespace sapihost
