#include "platform/RuntimeText.h"

#include <limits>

namespace sapi {

namespace {

constexpr std::size_t splitPartCapacity = 255;  // 256-character buffers, terminator included

bool IsRuntimeSpace(WideChar c) {
    return c == SAPI_WIDE(' ') || (c >= SAPI_WIDE('\t') && c <= SAPI_WIDE('\r'));
}

// The shared rule of _wtoi and _wtoi64, computed in 64 bits and clamped to
// [lowest, highest] so that a long run of digits cannot overflow.
int64_t ParseDecimal(const WideChar *text, int64_t lowest, int64_t highest) {
    if (text == nullptr) {
        return 0;
    }
    while (IsRuntimeSpace(*text)) {
        ++text;
    }
    const bool negative = *text == SAPI_WIDE('-');
    if (*text == SAPI_WIDE('-') || *text == SAPI_WIDE('+')) {
        ++text;
    }
    // Accumulate towards the sign so that the lowest value itself is reachable.
    int64_t value = 0;
    for (; *text >= SAPI_WIDE('0') && *text <= SAPI_WIDE('9'); ++text) {
        const int64_t digit = *text - SAPI_WIDE('0');
        if (negative) {
            value = value < (lowest + digit) / 10 ? lowest : value * 10 - digit;
        } else {
            value = value > (highest - digit) / 10 ? highest : value * 10 + digit;
        }
    }
    return value;
}

WideString CutToPart(WideView part) {
    return WideString(part.substr(0, splitPartCapacity));
}

}  // namespace

int32_t Wtoi(const WideChar *text) {
    return static_cast<int32_t>(ParseDecimal(text, std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max()));
}

int64_t Wtoi64(const WideChar *text) {
    return ParseDecimal(text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}

WideString I64ToW(int64_t value) {
    // Work in unsigned so that the most negative value has a magnitude too.
    const bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    WideString reversed;
    do {
        reversed += static_cast<WideChar>(SAPI_WIDE('0') + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        reversed += SAPI_WIDE('-');
    }
    return WideString(reversed.rbegin(), reversed.rend());
}

SplitName SplitPath(WideView path) {
    if (path.size() >= 2 && path[1] == SAPI_WIDE(':')) {
        path.remove_prefix(2);
    }
    const std::size_t lastSeparator = path.find_last_of(SAPI_WIDE("/\\"));
    if (lastSeparator != WideView::npos) {
        path.remove_prefix(lastSeparator + 1);
    }
    const std::size_t lastDot = path.rfind(SAPI_WIDE('.'));
    SplitName split;
    if (lastDot == WideView::npos) {
        split.fileName = CutToPart(path);
    } else {
        split.fileName = CutToPart(path.substr(0, lastDot));
        split.extension = CutToPart(path.substr(lastDot));
    }
    return split;
}

}  // namespace sapi
