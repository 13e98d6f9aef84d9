// Sizes that servers state in replies.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ftp/protocol/FtpReply.h"

namespace sapi::ftpclient {

// "213 52428800" -> 52428800 (64-bit; a reply of another code gives nothing).
std::optional<uint64_t> ParseSizeReply(const FtpReply &reply);

// The "(N bytes)" of a 150 reply, as vsftpd and proftpd send it:
// "150 Opening BINARY mode data connection for list/a.txt (12 bytes)."
std::optional<uint64_t> ParseAnnouncedSize(std::string_view text);

}  // namespace sapi::ftpclient
