// The transport under the control connection and every data connection: a
// byte stream in both directions whose every wait ends at a deadline. Plain
// TCP is one kind; a TLS stream wraps one and offers the same calls, so the
// session above never knows which it talks to.
#pragma once

#include <cstddef>

#include "ftp/services/sockets/Deadline.h"
#include "ftp/services/sockets/NetStatus.h"

namespace sapi::ftpclient {

class ByteStream {
public:
    virtual ~ByteStream() = default;
    ByteStream() = default;
    ByteStream(const ByteStream &) = delete;
    ByteStream &operator=(const ByteStream &) = delete;

    // All `size` bytes, or a failure with `sent` telling how many went.
    virtual NetStatus Send(const void *data, std::size_t size, std::size_t &sent, Deadline deadline) = 0;
    // At least one byte, or Closed at the end of the stream.
    virtual NetStatus Receive(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) = 0;
    // Fills the buffer unless the stream ends first (Closed, `received`
    // possibly above 0). Bulk data: one system call per block where the
    // transport allows it.
    virtual NetStatus ReceiveFill(void *buffer, std::size_t size, std::size_t &received, Deadline deadline) = 0;
    // Says that nothing more will be sent (TCP: nothing to do, the close says
    // it; TLS: close_notify), so that the peer can tell a whole file from a
    // cut one.
    virtual NetStatus FinishSending(Deadline deadline) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // One byte as TCP urgent data, sent at once; only a plain TCP stream can
    // (TLS records carry no urgent data), the others say Failed.
    virtual NetStatus SendUrgent(char) { return NetStatus::Failed; }
    virtual bool CanSendUrgent() const { return false; }
    // Whether a Receive would return at once: bytes taken off the wire and
    // not yet handed out (TLS records), or bytes (or the end) arrived.
    virtual bool Readable() = 0;
};

}  // namespace sapi::ftpclient
