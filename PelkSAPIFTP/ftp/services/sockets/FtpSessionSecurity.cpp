// The points where a session's streams may be secured. A plain session keeps
// the TCP streams it connected; TLS wraps them here and nowhere else.
#include "ftp/services/sockets/FtpSession.h"

namespace sapi::ftpclient {

SessionError FtpSession::SecureControl() { return SessionError::None; }

SessionError FtpSession::SecureData(DataChannel &) { return SessionError::None; }

}  // namespace sapi::ftpclient
