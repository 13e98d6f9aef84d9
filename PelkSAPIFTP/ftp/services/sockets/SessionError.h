// What went wrong in a session, in the session's own terms. The client
// services turn these into WinInet's numbers where they answer the module;
// nothing below them knows those numbers.
#pragma once

#include "ftp/services/sockets/NetStatus.h"

namespace sapi::ftpclient {

class SessionError {
public:
    enum Kind {
        None,
        NameNotResolved,     // the server's name does not resolve
        CannotConnect,       // no address took the connection, or the data connection failed
        TimedOut,            // a wait reached its deadline
        ConnectionLost,      // the server closed, reset, or broke the protocol
        Unusable,            // an earlier failure left the control connection unusable
        Refused,             // the server answered with a failure; its reply is LastReply()
        LoginRefused,        // the server did not take the user name and password
        TransferInProgress,  // a command while a transfer is open
        WrongTransfer,       // a read on a store, a write on a retrieval, no transfer
        InvalidArgument,
        OutOfMemory,         // a listing past its cap
        NotSecure,           // TLS failed: the handshake, or a certificate not trusted (TlsOutcome says which)
        DigestMismatch,      // the server's digest of the file differs from the bytes that were moved
        NoDigest,            // verification was required and the server gave no digest
        FolderLost,          // a new session could not enter the folder the host had chosen
        NotResumed,          // a retrieval was cut and nothing proves the file is the one it started on
        OutOfStep,           // the server's answers cannot be the ones to our commands (a folder made in the wrong place)
        NotFollowed,         // a file followed while it grew shrank, went back in time or went away
    };

    constexpr SessionError(Kind kind = None) : kind_(kind) {}  // NOLINT: a kind is an error
    constexpr Kind What() const { return kind_; }
    // True when something failed, so that `if (SessionError e = Step()) return e;` reads.
    explicit constexpr operator bool() const { return kind_ != None; }
    friend constexpr bool operator==(SessionError, SessionError) = default;

private:
    Kind kind_;
};

// A short English phrase for the trace and for messages.
const char *Describe(SessionError error);

// The connection is gone (a wait ran out, the server closed or broke it), as
// opposed to a refusal or a mistake of the caller's.
constexpr bool IsGone(SessionError error) {
    return error == SessionError::TimedOut || error == SessionError::ConnectionLost ||
           error == SessionError::Unusable;
}

// How a wait on an established connection ended, as a session error: a
// deadline is a timeout, anything else but success a lost connection.
constexpr SessionError ErrorOf(NetStatus status) {
    if (status == NetStatus::Ok) return SessionError::None;
    return status == NetStatus::Timeout ? SessionError::TimedOut : SessionError::ConnectionLost;
}

}  // namespace sapi::ftpclient
