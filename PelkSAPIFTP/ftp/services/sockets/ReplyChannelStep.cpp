// Getting back in step. After an early close, an ABOR, or a reply that came
// twice, the replies still on their way cannot be counted: pyftpdlib, vsftpd
// and proftpd answer an early close with "426" at once, pure-ftpd with no
// final reply at all, proftpd sends its "226" only when the next command
// arrives, and a hostile server may send "426" and "226" to one ABOR. So the
// session sends a marker whose answer nothing else can be mistaken for, and
// drops every reply before it.
//
// The marker is SYST ("215" answers nothing else). A server that refuses SYST
// gets PWD ("257") instead, from then on: which of the two a refusal came
// from need not be known, since the PWD's answer comes after both.
#include "ftp/services/sockets/ReplyChannel.h"

#include "ftp/protocol/ReplyCodes.h"

namespace sapi::ftpclient {

namespace {
// Replies dropped while waiting for the marker's answer before the session is
// given up.
constexpr int maxDroppedReplies = 64;
// How much longer than the ABOR's answer took the marker's answer may take
// before the server is taken to have dropped the marker.
constexpr Milliseconds markerGrace{50};
}  // namespace

SessionError ReplyChannel::Resynchronise() {
    // A server may still be sending the file it was told to send, and then
    // answer anything but ABOR with a refusal: pure-ftpd says "500 Unknown
    // command" to both markers if they arrive before it has noticed the
    // closed data connection. ABOR is the one command it reads then.
    if (abortDue_) {
        FtpReply answer;
        return Abort(answer);
    }
    trace_.Note("resynchronising");
    const auto start = trace_.Seconds();
    std::string marker = Marker();
    if (const SessionError error = Send({marker})) return error;
    if (const SessionError error = AwaitMarker(marker, nullptr, SteadyClock::now())) return error;
    ChangeState(ChannelState::Ready);
    trace_.Note("in step again after " + std::to_string(static_cast<int>((trace_.Seconds() - start) * 1000)) +
                " ms");
    return SessionError::None;
}

// Drops replies until the answer to the last marker sent. PWD follows SYST
// as a second marker when SYST is refused (or a stray looks like a refusal),
// and when an ABOR has been answered and the SYST's answer does not follow
// it: a server may drop what it read along with the ABOR (pure-ftpd does when
// the ABOR finds its transfer still running, so that SYST is never answered),
// and the PWD sent after the ABOR's answer is read for sure. Its "257" comes
// after anything the SYST may still bring. Servers that read the SYST answer
// it right after the ABOR, in the same breath.
SessionError ReplyChannel::AwaitMarker(std::string &marker, FtpReply *abortAnswer, SteadyClock::time_point sentAt) {
    const Deadline deadline = DeadlineAfter(timeouts_.receive);
    // When a PWD goes after the SYST, if the SYST's answer has not come by
    // then; the end of the whole wait while none is due. (A plain value: GCC
    // 12 for MinGW takes an optional time point here for uninitialised.)
    Deadline secondMarkerDue = deadline;
    bool secondMarkerPending = false;
    bool systAnswered = false;
    bool refusalSeen = false;
    for (int dropped = 0; dropped < maxDroppedReplies; ++dropped) {
        FtpReply reply;
        const SessionError error = ReadReply(reply, std::min(deadline, secondMarkerDue));
        if (error == SessionError::TimedOut && secondMarkerPending && marker == "SYST" && !Passed(deadline)) {
            trace_.Note("no answer to SYST after the ABOR's: sending PWD");
            marker = "PWD";
            secondMarkerPending = false;
            secondMarkerDue = deadline;
            if (const SessionError sent = Send({marker})) return sent;
            continue;
        }
        if (error) return GiveUp(error);
        if (reply.code == 421) {
            trace_.Reply(reply);
            lastReply_ = reply;
            return GiveUp(SessionError::ConnectionLost);
        }
        if (reply.code == (marker == "SYST" ? 215 : 257)) {
            trace_.Reply(reply);
            if (refusalSeen && !systAnswered) systRefused_ = true;
            return SessionError::None;
        }
        systAnswered = systAnswered || reply.code == 215;
        const bool answersAbort =
            abortAnswer && abortAnswer->code == 0 && FitOf("ABOR", reply.code) == ReplyFit::Answer;
        if (answersAbort) {
            trace_.Reply(reply);
            *abortAnswer = reply;
        } else {
            trace_.Stray(reply, marker);
        }
        const bool refused = !answersAbort && MarkerRefused(reply);
        if (marker == "SYST" && answersAbort) {
            const auto now = SteadyClock::now();
            secondMarkerDue = now + (now - sentAt) + markerGrace;
            secondMarkerPending = true;
        }
        if (marker == "SYST" && refused) {
            refusalSeen = true;
            marker = "PWD";
            secondMarkerPending = false;
            secondMarkerDue = deadline;
            if (const SessionError sent = Send({marker})) return sent;
        }
    }
    return GiveUp(SessionError::ConnectionLost);
}

// ABOR and its marker go out together, in one flight, so that whatever the server answers
// to it ("426" then "226", "225" alone, "226" alone, nothing, or its answers
// held until the next command) the session knows where the answers end. The
// first reply that can answer an ABOR is kept as the reply.
SessionError ReplyChannel::Abort(FtpReply &reply) {
    if (const SessionError error = SendAbort(false)) return error;
    return CompleteAbort(reply);
}

// The server may still be writing the transfer and read nothing else until
// it is done: Telnet's IP and Synch make it look (inetutils-ftpd and other
// BSD daemons die of SIGPIPE if the data connection is closed under them
// instead; vsftpd honours an ABOR during a transfer only so).
SessionError ReplyChannel::SendAbort(bool interrupt) {
    abortDue_ = false;
    if (interrupt && control_.SendInterrupt(DeadlineAfter(timeouts_.send))) trace_.Note("Telnet IP and Synch sent");
    if (const SessionError error = Send({"ABOR"})) return error;
    ChangeState(ChannelState::OutOfStep);
    // Two writes, not one: proftpd reads an ABOR during a transfer on its own,
    // and a marker that came in the same read waits in its buffer, unread and
    // unanswered, for ten seconds (seen behind a 40 ms line).
    abortMarker_ = Marker();
    abortMarkerSentAt_ = SteadyClock::now();
    return Send({abortMarker_});
}

SessionError ReplyChannel::CompleteAbort(FtpReply &reply) {
    std::string waiting = abortMarker_;
    FtpReply answer;
    if (const SessionError error = AwaitMarker(waiting, &answer, abortMarkerSentAt_)) return error;
    ChangeState(ChannelState::Ready);
    reply = answer.code != 0 ? answer : lastReply_;
    lastReply_ = reply;
    return SessionError::None;
}

}  // namespace sapi::ftpclient
