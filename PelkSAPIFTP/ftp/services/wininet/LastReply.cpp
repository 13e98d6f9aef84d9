#include "ftp/services/wininet/LastReply.h"

#include "ftp/services/wininet/WinInetApi.h"

namespace sapi {

namespace {

// Room for any reply line a server sends in practice (RFC 959 lines are far
// shorter). On the stack: this runs while handles close, where nothing may throw.
constexpr DWORD replyCapacity = 2048;

}  // namespace

bool LastReplyIsPositiveCompletion() {
    wchar_t reply[replyCapacity] = {};
    DWORD error = 0;
    DWORD length = replyCapacity;
    if (InternetGetLastResponseInfoW(&error, reply, &length) == FALSE) {
        return false;
    }
    // Judged by the buffer, not the length: some WinInet versions fill a buffer
    // of exactly the text's size and report a length of 0.
    return reply[0] == L'2';
}

}  // namespace sapi
