#include "base/TextCopyOut.h"

#include <algorithm>

namespace sapi {

ResultCode TextCopyOut(WideView text, WideChar *destination, uint32_t *length) {
    return TextCopyOutBy(
        text.size(), [&](WideChar *out) { std::copy(text.begin(), text.end(), out); }, destination, length);
}

}  // namespace sapi
