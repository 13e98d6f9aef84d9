// Where we are is checked, not assumed. After a folder change the server is
// asked where it is (a host asks that next anyway, and is answered with this
// reply), and the answer is held against the change asked for. A report
// nothing explains is named in the trace; when the change entered a folder
// made because the server refused to enter it, the refusal may have been a
// late answer to another command (Twisted's server answers a PASV a second
// time, 10 s late), and the folder was made in the wrong place: the call ends
// there, out of step, rather than act in it.
#include <utility>

#include "ftp/protocol/FolderReport.h"
#include "ftp/protocol/QuotedPath.h"
#include "ftp/protocol/ReplyCodes.h"
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

void FtpSession::NoteFolderStep(const std::string &line, bool succeeded) {
    const std::string_view verb = VerbOf(line);
    const std::string argument = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : std::string();
    std::optional<std::string> refused = std::exchange(refusedFolder_, std::nullopt);
    std::optional<std::string> created = std::exchange(createdFolder_, std::nullopt);
    if (verb == "CWD" && !succeeded) refusedFolder_ = argument;
    if (verb == "MKD" && succeeded && refused == argument) createdFolder_ = argument;
    if (verb == "CWD" && succeeded) createdFolder_ = std::move(created);
}

SessionError FtpSession::CheckFolderChange(const std::string &name, const std::optional<std::string> &from) {
    const FtpReply changed = LastReply();
    const bool made = createdFolder_ == name;
    createdFolder_.reset();
    FtpReply where;
    // A session lost on the question is found gone by the next call.
    if (channel_.AskFinal("PWD", where) != SessionError::None) return SessionError::None;
    channel_.Recall("CWD " + name, changed);
    FollowFolder("PWD", where);
    const std::optional<std::string> reported =
        where.code == 257 ? ParseQuotedPath(where.FirstLineMessage()) : std::nullopt;
    const std::optional<std::string> expected = ExpectedFolder(from, name);
    if (channel_.State() == ChannelState::Ready) loginFolder_ = where;
    if (!reported || !expected || ReportExplains(*reported, *expected, from.value_or(""), name == "..")) {
        return SessionError::None;
    }
    trace_.Note("the server says it is in " + *reported + " after CWD " + name + " from " + from.value_or("?") +
                ", not in " + *expected);
    if (!made) return SessionError::None;
    stepReason_ = "out of step: after '" + name + "' was made, the server says it is in " + *reported + ", not in " +
                  *expected;
    loginFolder_.reset();
    channel_.LoseStep();
    return SessionError::OutOfStep;
}

}  // namespace sapi::ftpclient
