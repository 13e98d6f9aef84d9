// The reply reader against any byte stream a server could send, fed in
// pieces whose sizes also come from the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/FeatureSet.h"
#include "ftp/protocol/ReplyReader.h"
#include "ftp/protocol/SizeReply.h"

using namespace sapi::ftpclient;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    ReplyReader reader;
    while (!bytes.empty()) {
        const std::string_view chunk = bytes.substr(0, piece);
        bytes.remove_prefix(chunk.size());
        reader.Feed(chunk);
        while (std::optional<FtpReply> reply = reader.Next()) {
            if (reply->code < 0 || reply->code > 999 || reply->lines.empty() ||
                reply->lines.size() > ReplyReader::maxReplyLines) {
                std::abort();
            }
            for (const std::string &line : reply->lines) {
                if (line.size() > ReplyReader::maxLineLength) std::abort();
            }
            ParseFeatures(*reply);
            ParseSizeReply(*reply);
            ParseAnnouncedSize(reply->Text());
        }
    }
    return 0;
}
