#include "ftp/protocol/ReplyQueue.h"

namespace sapi::ftpclient {

std::string ReplyQueue::Owed() const {
    std::string awaited;
    std::string dropped;
    for (const Entry &entry : entries_) {
        std::string &list = entry.awaited ? awaited : dropped;
        list += (list.empty() ? "" : ", ") + std::string(VerbOf(entry.line));
    }
    if (dropped.empty()) return awaited.empty() ? "nothing" : awaited;
    return (awaited.empty() ? std::string() : awaited + "; ") + "dropped: " + dropped;
}

}  // namespace sapi::ftpclient
