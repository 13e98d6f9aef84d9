// What a retrieval asks before its command: the size, the file's time when it
// may have to resume, and in passive mode the port. None depends on another's
// answer, so they go out in one flight. The port goes only with a retrieval
// that follows at once, and its connect begins as its answer comes: a host's
// own SIZE may be followed by anything, and a server that waits for the
// connection to a port it gave (Twisted's) answers nothing else meanwhile.
#include "ftp/protocol/ReplyCodes.h"
#include "ftp/protocol/SizeReply.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

namespace {

// The server's name for the file's version: "213 20260101120000".
std::string TimeOf(const FtpReply &reply) { return reply.code == 213 ? reply.FirstLineMessage() : std::string(); }

}  // namespace

// Answers that a reply in the flight may have shifted are not kept: what is
// missing is asked again, on its own, when it is needed.
SessionError FtpSession::ProbeRetrieval(const std::string &name, bool askSize, bool askPort, FtpReply &sizeReply) {
    std::vector<std::string> lines;
    if (askSize) lines.push_back("SIZE " + name);
    const bool askTime = (recover_ || followQuiet_ > 0) && features_.mdtm;
    if (askTime) lines.push_back("MDTM " + name);
    const std::optional<std::string> passive = askPort ? connector_.PassiveCommand() : std::nullopt;
    if (passive) lines.push_back(*passive);
    sizeProbe_ = SizeProbe{name, std::nullopt, std::nullopt};
    if (lines.empty()) return SessionError::None;
    std::vector<FtpReply> replies;
    const SessionError error = channel_.AskInOneFlight(lines, replies);
    if (askSize && replies.front().code != 0) {
        sizeReply = replies.front();
        sizeProbe_->size = SizeAnswered(sizeReply);
    }
    if (channel_.State() == ChannelState::Ready) {
        if (askTime) sizeProbe_->modified = TimeOf(replies[askSize ? 1 : 0]);
        if (passive) connector_.KeepPassiveAnswer(*passive, replies.back());
    }
    if (passive) connector_.BeginConnectAhead();
    if (askSize && lines.size() > 1) channel_.Recall(lines.front(), sizeReply);
    // The commands sent along are ours: a session lost on their answers is
    // found gone by the next call, as it would have been then.
    return askSize && sizeReply.code != 0 ? SessionError::None : error;
}

// The size a reply to SIZE gives, whoever asked.
std::optional<uint64_t> FtpSession::SizeAnswered(const FtpReply &reply) {
    if (CommandUnknown(reply)) useSize_ = false;
    return ParseSizeReply(reply);
}

std::string FtpSession::ModifiedTime(const std::string &name) {
    FtpReply reply;
    if (!features_.mdtm || channel_.AskFinal("MDTM " + name, reply) != SessionError::None) return {};
    return TimeOf(reply);
}

}  // namespace sapi::ftpclient
