#include "ftp/services/sockets/SessionError.h"

namespace sapi::ftpclient {

const char *Describe(SessionError error) {
    switch (error.What()) {
    case SessionError::None: return "done";
    case SessionError::NameNotResolved: return "the server's name does not resolve";
    case SessionError::CannotConnect: return "cannot connect";
    case SessionError::TimedOut: return "timed out";
    case SessionError::ConnectionLost: return "connection lost";
    case SessionError::Unusable: return "the control connection is no longer usable";
    case SessionError::Refused: return "refused by the server";
    case SessionError::LoginRefused: return "login refused";
    case SessionError::TransferInProgress: return "a transfer is in progress";
    case SessionError::WrongTransfer: return "not possible on this transfer";
    case SessionError::InvalidArgument: return "invalid argument";
    case SessionError::OutOfMemory: return "out of memory";
    case SessionError::NotSecure: return "no secure connection";
    case SessionError::DigestMismatch: return "the server's digest differs from the bytes moved";
    case SessionError::NoDigest: return "the server gave no digest";
    case SessionError::FolderLost: return "the folder cannot be entered again";
    case SessionError::NotResumed: return "the retrieval was cut and cannot be resumed";
    case SessionError::OutOfStep: return "the server's answers are out of step with our commands";
    case SessionError::NotFollowed: return "the file followed is no longer the one it was";
    }
    return "unknown";
}

}  // namespace sapi::ftpclient
