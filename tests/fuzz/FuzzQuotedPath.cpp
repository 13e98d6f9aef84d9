// The quoted path of a 257 reply (PWD, MKD).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/QuotedPath.h"

using namespace sapi::ftpclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (const auto path = ParseQuotedPath(text); path && path->size() >= size) std::abort();
    return 0;
}
