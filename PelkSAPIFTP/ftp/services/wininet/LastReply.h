// The server's last reply on this thread, as WinInet keeps it.
#pragma once

namespace sapi {

// True when the last reply WinInet read on this thread is a 2xx. After a store's
// handle is closed that reply is the server's verdict on the transfer:
// "226 Transfer complete." when the file is stored, "426 No space left on
// device; transfer aborted." or "451 ..." when it is not. A connection that
// died before any verdict leaves the transfer's opening "150 ..." as the last
// reply, which counts as no confirmation.
bool LastReplyIsPositiveCompletion();

}  // namespace sapi
