// The control connection as a conversation: each command out, its answer in,
// and the way back in step when answers may still be on their way. It is in
// one state at a time, and only ChangeState moves it, traced:
//   Closed     no control connection
//   Ready      in step: nothing is on its way but the answer to the command
//              in flight, so the next reply is that answer, whatever its code
//   OutOfStep  replies may still be coming (a transfer closed early, an ABOR,
//              a "500" that may have been one of two); before the next command
//              a marker goes out and every reply before its answer is dropped
//   Broken     the server went away, broke the protocol, or let a wait run
//              out; nothing more is sent and every call fails at once
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/protocol/ExpectedReplies.h"
#include "ftp/protocol/FtpReply.h"
#include "ftp/services/sockets/ClientTimeouts.h"
#include "ftp/services/sockets/ControlConnection.h"
#include "ftp/protocol/ReplyQueue.h"
#include "ftp/services/sockets/SessionError.h"
#include "ftp/services/sockets/SessionTrace.h"

namespace sapi::ftpclient {

enum class ChannelState { Closed, Ready, OutOfStep, Broken };

// A command line as a failure reason names it: commands the session composes
// itself whole ("PROT P"), the others by their verb, so that no name or
// password reaches a reason.
std::string CommandAsNamed(std::string_view line);

class ReplyChannel {
public:
    ReplyChannel(SessionTrace &trace, const ClientTimeouts &timeouts) : trace_(trace), timeouts_(timeouts) {}

    SessionError Open(StreamFactory &streams, const std::string &host, uint16_t port);
    // The greeting: whatever the server says first, past any preliminary lines.
    SessionError AwaitGreeting(FtpReply &greeting);
    // Puts TLS on the control connection; nothing may have come before.
    NetStatus Secure(TlsClient &client, TlsCheck &check) {
        return control_.Secure(client, DeadlineAfter(timeouts_.connect), check);
    }
    // Bytes received and not yet read as replies (a reply, or part of one).
    bool HasUnread() {
        control_.TakeAvailable();
        return queue_.HasReadAhead() || control_.HasUnread();
    }

    // Back in step before a command, if need be; fails when that is impossible.
    SessionError EnsureInStep();
    // Sends a command and returns its first reply, preliminary or not.
    SessionError Ask(const std::string &line, FtpReply &reply) { return Ask(line, reply, timeouts_.receive); }
    // Sends a command and returns its final reply.
    SessionError AskFinal(const std::string &line, FtpReply &reply) { return AskFinal(line, reply, timeouts_.receive); }
    // The same, for a command whose answer takes the server longer (a digest
    // of a large file): `wait` for the first reply, and again for the final one.
    SessionError Ask(const std::string &line, FtpReply &reply, Milliseconds wait);
    SessionError AskFinal(const std::string &line, FtpReply &reply, Milliseconds wait);
    // Commands of which none depends on an earlier one's answer, in one
    // write: their final replies, in order, one per command. A refusal is an
    // answer like any other; an error means the session went out of step or
    // away before every answer came (`replies` holds those that did). An
    // answer that may be an earlier command's, said twice, comes back empty
    // too, with the session out of step.
    // A refusal of one of the first `gating` commands ends the wait there
    // (the rest, sent on the strength of their success, are left unread and
    // the session out of step): a password refused is not followed by five
    // more refusals, or by a server that closed after the first.
    SessionError AskInOneFlight(const std::vector<std::string> &lines, std::vector<FtpReply> &replies,
                                std::size_t gating = 0);
    // A command whose answer nobody waits for (OPTS UTF8 ON): sent now, and
    // its answer, whenever it comes, dropped before any later command's.
    void SendUnawaited(const std::string &line);
    // The final reply to the command in flight, past preliminary ones.
    SessionError AwaitFinal(FtpReply &reply, Deadline deadline);
    // The next reply to the command in flight, preliminary or not.
    SessionError NextAnswer(FtpReply &reply, Deadline deadline);
    // Whether a reply has come, without waiting.
    bool ReplyWaiting();
    // ABOR and a marker; `reply` is the first answer an ABOR can have.
    SessionError Abort(FtpReply &reply);
    // The same in two steps, for a retrieval whose data connection stays open
    // (and is drained) until the ABOR is answered: ABOR (after Telnet IP and
    // Synch where `interrupt` asks and the connection can carry them) and the
    // marker; then the answers up to the marker's.
    SessionError SendAbort(bool interrupt);
    // Whether Telnet IP and Synch can go out (not over TLS).
    bool CanInterrupt() const { return control_.CanInterrupt(); }
    SessionError CompleteAbort(FtpReply &reply);
    // A retrieval closed before the server ended it: the server may still be
    // sending, so an ABOR of ours goes out before the next command.
    void LeftMidRetrieval();
    // A reply was found to answer another command than the one it was taken
    // for: what is still on its way cannot be counted, and a marker goes
    // before the next command.
    void LoseStep() {
        if (state_ == ChannelState::Ready) ChangeState(ChannelState::OutOfStep);
    }
    // A data connection that failed: a timeout gives the session up; any other
    // failure before the final reply leaves that reply on its way.
    SessionError DataFailed(SessionError error, bool finalSeen);
    // A wait ran out, the server went away or broke the protocol: nothing
    // said here can be trusted to line up any more.
    SessionError GiveUp(SessionError error);
    // QUIT without waiting for its answer, then closed.
    void Quit();
    void Close() { ChangeState(ChannelState::Closed); }

    ChannelState State() const { return state_; }
    bool IsOpen() const { return control_.IsOpen(); }
    const FtpReply &LastReply() const { return lastReply_; }
    // Makes an earlier answer of a flight the last reply again, as the one its
    // caller asked for and a failure reason quotes.
    void Recall(const std::string &line, const FtpReply &reply) {
        lastCommand_ = CommandAsNamed(line);
        lastReply_ = reply;
    }
    // The command last sent, as a failure reason names it ("PASS", "PROT P").
    const std::string &LastCommand() const { return lastCommand_; }
    // What gave the session up, once Broken.
    SessionError BrokenBy() const { return brokenBy_; }
    bool ReplyOverflowed() const { return control_.ReplyOverflowed(); }
    const SocketAddress &Peer() const { return control_.Peer(); }
    const SocketAddress &Local() const { return control_.Local(); }

private:
    void ChangeState(ChannelState next);
    // Sends commands; in step each is owed an answer, `awaited` or dropped.
    SessionError Send(const std::vector<std::string> &lines, bool awaited = true);
    SessionError ReadReply(FtpReply &reply, Deadline deadline);
    SessionError TakeAnswer(FtpReply &reply);
    SessionError AwaitFinalAnswer(FtpReply &reply, Deadline deadline, bool moreInFlight);
    SessionError NextAnswerInFlight(FtpReply &reply, Deadline deadline);
    void DropUnsolicited();
    SessionError Resynchronise();
    SessionError AwaitMarker(std::string &marker, FtpReply *abortAnswer, SteadyClock::time_point sentAt);
    std::string Marker() const { return systRefused_ ? "PWD" : "SYST"; }

    SessionTrace &trace_;
    const ClientTimeouts &timeouts_;
    ControlConnection control_;
    ReplyQueue queue_;  // what the server owes us
    ChannelState state_ = ChannelState::Closed;
    FtpReply lastReply_;
    // A reply was taken as an answer although it cannot be one.
    bool oddAnswer_ = false;
    std::string lastCommand_;
    SessionError brokenBy_;
    // How to get back in step: our own ABOR first (a retrieval was closed
    // before the server ended it), and PWD as the marker (SYST was refused).
    bool abortDue_ = false;
    std::string abortMarker_;  // sent right behind the last ABOR
    SteadyClock::time_point abortMarkerSentAt_;
    bool systRefused_ = false;
};

}  // namespace sapi::ftpclient
