// The port of a passive-mode reply. Only the port is taken: the data
// connection always goes to the control connection's peer, so a server (or
// anyone who can forge its reply) cannot aim the client at another host.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sapi::ftpclient {

// "229 Entering Extended Passive Mode (|||30017|)": the port between the
// delimiters; any printable delimiter is allowed, as long as all four match.
std::optional<uint16_t> ParseExtendedPassivePort(std::string_view text);

// "227 Entering Passive Mode (127,0,0,1,117,48)": the first run of six
// comma-separated numbers of 0 to 255, parentheses or not; port p1 * 256 + p2.
std::optional<uint16_t> ParsePassivePort(std::string_view text);

}  // namespace sapi::ftpclient
