// Names as the server spells them and as the host reads them, for one
// connection. The host sees UTF-16; the server's names are bytes. Names in
// UTF-8 (every server we know, for names made on a UTF-8 system) read as
// UTF-8. Other bytes (Latin-1 from an old system, or broken UTF-8) would read
// as U+FFFD and name no file when sent back, so they read as Latin-1 instead,
// one character per byte, and the bytes are remembered: whatever the host
// sends back that holds such a name, alone or as a part of a path, goes to
// the server as the bytes it listed.
//
// Should a folder hold both a UTF-8 "é" and a Latin-1 "é" (0xE9), they read
// alike, and the name the host sends back means the Latin-1 one.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/WideText.h"

namespace sapi::ftpclient {

class RemoteNames {
public:
    // A name or path the server sent, for the host; appended to `into`.
    void Decode(std::string_view bytes, WideString &into);
    WideString Decode(std::string_view bytes);
    // A name or path the host sent, as the server's bytes.
    std::string Encode(WideView text) const;

private:
    void DecodePart(std::string_view part, WideString &into);

    // The UTF-8 of what the host was shown -> the bytes the server sent.
    std::unordered_map<std::string, std::string> originals_;
};

}  // namespace sapi::ftpclient
