#include "ftp/protocol/ExpectedReplies.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace sapi::ftpclient {

namespace {

struct Positive {
    std::string_view verb;
    std::initializer_list<int> codes;  // 2xx and 3xx that answer it
    bool dataConnection;               // takes 1xx, and 425/426
};

// RFC 959 section 5.4, RFC 2428, RFC 3659, RFC 2389. Where real servers go
// beyond the letter, the code is here too: "250" to MKD, "200" to CWD and
// DELE (some Windows servers), "202" to PASS, to ABOR and to OPTS ("UTF8 mode
// is always enabled").
const std::array<Positive, 27> table{{
    {"USER", {230, 331, 332}, false},
    {"PASS", {202, 230, 332}, false},
    {"ACCT", {202, 230}, false},
    {"CWD", {200, 250}, false},
    {"CDUP", {200, 250}, false},
    {"XCWD", {200, 250}, false},
    {"PWD", {257}, false},
    {"XPWD", {257}, false},
    {"MKD", {250, 257}, false},
    {"XMKD", {250, 257}, false},
    {"RMD", {250}, false},
    {"DELE", {200, 250}, false},
    {"SIZE", {213}, false},
    {"MDTM", {213}, false},
    {"TYPE", {200}, false},
    {"FEAT", {211}, false},
    {"OPTS", {200, 202}, false},
    {"SYST", {215}, false},
    {"NOOP", {200}, false},
    {"QUIT", {221}, false},
    {"PASV", {227}, false},
    {"EPSV", {229}, false},
    {"PORT", {200}, false},
    {"EPRT", {200}, false},
    {"ABOR", {202, 225, 226}, false},
    {"RETR", {226, 250}, true},
    {"STOR", {226, 250}, true},
}};

// Listings and the other transfers share the retrieval's codes.
std::string_view TransferAlias(std::string_view verb) {
    for (std::string_view alias : {"LIST", "NLST", "MLSD", "APPE", "STOU"}) {
        if (verb == alias) return "RETR";
    }
    return verb;
}

const Positive *Find(std::string_view verb) {
    verb = TransferAlias(verb);
    const auto found = std::find_if(table.begin(), table.end(), [&](const Positive &p) { return p.verb == verb; });
    return found == table.end() ? nullptr : &*found;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string_view VerbOf(std::string_view commandLine) {
    return commandLine.substr(0, std::min(commandLine.find(' '), commandLine.size()));
}

ReplyFit FitOf(std::string_view commandLine, int code) {
    char verb[8] = {};
    const std::string_view raw = VerbOf(commandLine);
    if (raw.size() >= sizeof verb) return code >= 100 && code < 200 ? ReplyFit::Preliminary : ReplyFit::Answer;
    std::transform(raw.begin(), raw.end(), verb, Upper);
    const Positive *known = Find(std::string_view(verb, raw.size()));
    if (known == nullptr) return code >= 100 && code < 200 ? ReplyFit::Preliminary : ReplyFit::Answer;
    if (code == 421) return ReplyFit::Answer;  // the server is closing: an answer to anything
    if (code >= 100 && code < 200) return known->dataConnection ? ReplyFit::Preliminary : ReplyFit::Stray;
    if (code >= 400 && code < 600) {
        const bool aboutData = code == 425 || code == 426;
        return aboutData && !known->dataConnection ? ReplyFit::Stray : ReplyFit::Answer;
    }
    const bool listed = std::find(known->codes.begin(), known->codes.end(), code) != known->codes.end();
    return listed ? ReplyFit::Answer : ReplyFit::Stray;
}

}  // namespace sapi::ftpclient
