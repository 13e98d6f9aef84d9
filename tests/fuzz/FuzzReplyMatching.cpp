// Reply matching against any stream a server could send: the input picks a
// flight of commands and supplies the bytes of the replies, read through the
// queue of owed replies. No reply may be handed to a command it cannot
// answer, a preliminary reply never pops a command, and no command is
// answered twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/protocol/ExpectedReplies.h"
#include "ftp/protocol/ReplyQueue.h"
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
    ReplyQueue queue;
    for (std::size_t i = 0; i < commandCount; ++i) {
        const std::string_view command = commands[(static_cast<std::size_t>(data[0]) * 7 + i * 13) %
                                                  (sizeof commands / sizeof commands[0])];
        queue.Push(std::string(command), i % 3 != 2);
    }
    std::size_t answered = 0;
    while (std::optional<FtpReply> reply = reader.Next()) {
        const ReplyQueue::Entry *head = queue.Head();
        if (head == nullptr) {
            if (queue.Judge(*reply) != ReplyFit::Stray) std::abort();  // nothing is owed
            break;
        }
        const ReplyFit fit = queue.Judge(*reply);
        if (FitOf(head->line, reply->code) != fit) std::abort();  // judged against another command
        if (fit != ReplyFit::Answer) continue;
        if (reply->code >= 100 && reply->code < 200) std::abort();
        queue.Pop();
        ++answered;
    }
    if (answered > commandCount || queue.Owed().empty()) std::abort();
    return 0;
}
