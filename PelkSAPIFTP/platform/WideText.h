// UTF-16 text as the host sees it, and its conversions to and from UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sapi {

#if defined(_WIN32)
using WideChar = wchar_t;  // 16-bit on Windows, WinInet's own text type
#define SAPI_WIDE_(text) L##text
#else
using WideChar = char16_t;  // wchar_t is 32-bit here; the host speaks UTF-16
#define SAPI_WIDE_(text) u##text
#endif
// A wide literal in the platform's text type: SAPI_WIDE("FTP").
#define SAPI_WIDE(text) SAPI_WIDE_(text)

using WideString = std::basic_string<WideChar>;
using WideView = std::basic_string_view<WideChar>;

static_assert(sizeof(WideChar) == 2, "host text is UTF-16");

// Number of 16-bit units before the terminator (wcslen).
std::size_t WideLength(const WideChar *text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(WideView text);
// UTF-8 to UTF-16. A malformed sequence becomes U+FFFD, one per bad byte.
WideString WideFromUtf8(std::string_view text);

// Whether the bytes are well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);
// Appending forms, for callers that reuse one string for many texts.
void AppendWideFromUtf8(WideString &out, std::string_view text);
// Each byte as the character of the same number (ISO 8859-1).
void AppendWideFromLatin1(WideString &out, std::string_view text);

// Plain ASCII to wide, byte for byte (for texts the code builds itself).
WideString WideFromAscii(std::string_view text);

}  // namespace sapi
