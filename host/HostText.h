// Text as the module sees it (UTF-16 in ServerApiChar, char16_t here and
// wchar_t on Windows) and its conversions to and from the UTF-8 we print.
// Written here rather than borrowed from the module: a host must not link it.
#pragma once

#include <string>
#include <string_view>

#include "ServerApi.h"

namespace sapihost {

using HostText = std::basic_string<ServerApiChar>;

static_assert(sizeof(ServerApiChar) == 2, "the module speaks UTF-16");

// Malformed UTF-8 becomes U+FFFD, one per bad byte.
HostText ToHostText(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::basic_string_view<ServerApiChar> text);
// The same into `out`, whose memory is reused: one name after another.
void AssignUtf8(std::string &out, std::basic_string_view<ServerApiChar> text);
std::string ToUtf8(const ServerApiChar *text);  // zero-terminated; null gives ""

}  // namespace sapihost
