// The kind of a name NLST gave, asked of the server: MLST where it has it
// (one answer says folder or file, and the size), else SIZE (a file answers
// with its size) and, for what SIZE refused, CWD (a folder can be entered),
// each set of questions in one flight, and only for a few names: a listing
// completed by name is seldom more than a few odd lines.
#include "ftp/protocol/MlsdParser.h"
#include "ftp/protocol/SizeReply.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

constexpr std::size_t maxKindQuestions = 64;

std::string InFolder(const std::string &folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path.append(name);
}

// MLST's answer: "250-Listing x", " type=dir;modify=...; /pub/x", "250 End".
// The facts are read as an MLSD line's are; the path after them is ours.
std::optional<ListingEntry> KindFromMlst(const FtpReply &reply) {
    if (reply.code != 250) return std::nullopt;
    for (const std::string &line : reply.lines) {
        if (line.size() < 2 || line[0] != ' ') continue;
        const std::size_t blank = line.find(' ', 1);
        const std::string facts = line.substr(1, blank == std::string::npos ? std::string::npos : blank - 1);
        if (const std::optional<ListingEntry> entry = ParseMlsdLine(facts + " x")) return entry;
    }
    return std::nullopt;
}

}  // namespace

SessionError FtpSession::LearnKinds(const std::string &path, std::vector<ListingEntry> &names) {
    if (names.empty()) return SessionError::None;
    if (names.size() > maxKindQuestions) {
        trace_.Note("too many names to ask each one's kind: listed as files");
        return SessionError::None;
    }
    // A CR in a name would end the command early: what followed it would be
    // sent as a command of its own.
    for (const ListingEntry &name : names) {
        if (name.name.find('\r') != std::string_view::npos) return SessionError::None;
    }
    std::vector<std::string> lines;
    std::vector<FtpReply> replies;
    const bool mlst = features_.mlsd;
    for (const ListingEntry &name : names) lines.push_back((mlst ? "MLST " : "SIZE ") + InFolder(path, name.name));
    if (mlst || useSize_) {
        if (const SessionError error = channel_.AskInOneFlight(lines, replies)) return error;
    }
    std::vector<ListingEntry *> unsure;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const FtpReply &reply = i < replies.size() ? replies[i] : FtpReply{};
        if (mlst) {
            const std::optional<ListingEntry> kind = KindFromMlst(reply);
            names[i].isDirectory = kind && kind->isDirectory;
            names[i].size = kind ? kind->size : 0;
        } else if (const std::optional<uint64_t> size = ParseSizeReply(reply)) {
            names[i].size = *size;
        } else {
            unsure.push_back(&names[i]);
        }
    }
    return mlst ? SessionError::None : EnterToLearn(path, unsure);
}

// Names SIZE gave no size for: a folder is one CWD enters. Each CWD names its
// folder by its whole path, so that one entered does not move the next, and
// the last one goes back to where the session was.
SessionError FtpSession::EnterToLearn(const std::string &path, const std::vector<ListingEntry *> &unsure) {
    if (unsure.empty()) return SessionError::None;
    if (!folder_) {
        FtpReply reply;
        if (const SessionError error = channel_.AskFinal("PWD", reply)) return error;
        FollowFolder("PWD", reply);
        if (!folder_) return SessionError::None;
    }
    const std::string base = !path.empty() && path.front() == '/' ? path : InFolder(*folder_, path);
    std::vector<std::string> lines;
    for (const ListingEntry *name : unsure) lines.push_back("CWD " + InFolder(base, name->name));
    lines.push_back("CWD " + *folder_);
    std::vector<FtpReply> replies;
    if (const SessionError error = channel_.AskInOneFlight(lines, replies)) return error;
    for (std::size_t i = 0; i < unsure.size(); ++i) unsure[i]->isDirectory = replies[i].IsSuccess();
    if (!replies.back().IsSuccess()) return SessionError::Refused;  // not back where the host believes it is
    return SessionError::None;
}

}  // namespace sapi::ftpclient
