// Reply matching against any stream a server could send: the input picks a
// sequence of commands and supplies the bytes of the replies. No reply may
// be handed to a command it cannot answer, and a command is never answered
// twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/ExpectedReplies.h"
#include "ftp/protocol/ReplyReader.h"

using namespace sapi::ftpclient;

namespace {

constexpr std::string_view commands[] = {
    "USER u", "PASS p", "CWD sub", "PWD",  "MKD x",     "DELE f",  "SIZE f", "TYPE I",   "FEAT", "SYST",
    "NOOP",   "EPSV",   "PASV",    "RETR f", "STOR f",  "LIST",    "MLSD",   "ABOR",     "QUIT", "SITE CHMOD 644 f",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const std::size_t commandCount = 1 + data[0] % 16;
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    ReplyReader reader;
    reader.Feed(rest);
    ReplyMatcher matcher;
    for (std::size_t i = 0; i < commandCount; ++i) {
        const std::string_view command = commands[(static_cast<std::size_t>(data[0]) * 7 + i * 13) %
                                                  (sizeof commands / sizeof commands[0])];
        matcher.Expect(command);
        bool answered = false;
        while (std::optional<FtpReply> reply = reader.Next()) {
            const ReplyFit fit = matcher.Offer(*reply);
            if (answered && fit != ReplyFit::Stray) std::abort();  // a second answer
            if (fit == ReplyFit::Stray) continue;
            if (FitOf(command, reply->code) != fit) std::abort();  // handed to the wrong command
            if (fit == ReplyFit::Answer) {
                answered = true;
                if (reply->code >= 100 && reply->code < 200) std::abort();
                break;
            }
        }
        if (!answered && matcher.Awaiting() == false) std::abort();
    }
    return 0;
}
