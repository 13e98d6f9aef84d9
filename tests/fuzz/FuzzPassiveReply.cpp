// EPSV and PASV replies: any text, any port they claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/PassiveReply.h"

using namespace sapi::ftpclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    if (const auto port = ParseExtendedPassivePort(text); port && *port == 0) std::abort();
    if (const auto port = ParsePassivePort(text); port && *port == 0) std::abort();
    return 0;
}
