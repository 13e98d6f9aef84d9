// The C runtime's text routines whose exact rules the plug-in relies on,
// written out so they behave the same on every platform.
#pragma once

#include <cstdint>

#include "platform/WideText.h"

namespace sapi {

// _wtoi: leading white space skipped, an optional sign, then decimal digits up
// to the first other character; no digits give 0. Values beyond 32 bits wrap
// as the C runtime's do not matter to callers; they are clamped.
int32_t Wtoi(const WideChar *text);
// _wtoi64: the same rule for 64 bits.
int64_t Wtoi64(const WideChar *text);
// _i64tow with radix 10.
WideString I64ToW(int64_t value);
// _wsplitpath, keeping only the file-name part and the extension, each cut to
// 255 characters (the 256-character buffers of the classic call).
struct SplitName {
    WideString fileName;
    WideString extension;
};
SplitName SplitPath(WideView path);

}  // namespace sapi
