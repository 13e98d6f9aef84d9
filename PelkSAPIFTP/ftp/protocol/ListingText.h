// Small helpers shared by the listing parsers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sapi::ftpclient {

inline bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal number made of the whole text, 64-bit; nothing on overflow.
std::optional<uint64_t> ParseUnsigned64(std::string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace sapi::ftpclient
