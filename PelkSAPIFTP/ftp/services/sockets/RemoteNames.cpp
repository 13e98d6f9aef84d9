#include "ftp/services/sockets/RemoteNames.h"

namespace sapi::ftpclient {

namespace {

// Calls `each` with every part of a path between slashes, empty parts too,
// and with the slashes themselves between them.
template <typename Text, typename Each>
void ForEachPart(Text path, Each each) {
    for (;;) {
        const std::size_t slash = path.find('/');
        each(path.substr(0, slash), slash != Text::npos);
        if (slash == Text::npos) return;
        path.remove_prefix(slash + 1);
    }
}

}  // namespace

void RemoteNames::Decode(std::string_view bytes, WideString &into) {
    if (IsValidUtf8(bytes)) {
        AppendWideFromUtf8(into, bytes);
        return;
    }
    ForEachPart(bytes, [&](std::string_view part, bool slashFollows) {
        DecodePart(part, into);
        if (slashFollows) into += WideChar{'/'};
    });
}

WideString RemoteNames::Decode(std::string_view bytes) {
    WideString text;
    Decode(bytes, text);
    return text;
}

void RemoteNames::DecodePart(std::string_view part, WideString &into) {
    if (IsValidUtf8(part)) {
        AppendWideFromUtf8(into, part);
        return;
    }
    const std::size_t begin = into.size();
    AppendWideFromLatin1(into, part);
    originals_.emplace(Utf8FromWide(WideView(into).substr(begin)), std::string(part));
}

std::string RemoteNames::Encode(WideView text) const {
    std::string utf8 = Utf8FromWide(text);
    if (originals_.empty()) return utf8;
    std::string bytes;
    bytes.reserve(utf8.size());
    ForEachPart(std::string_view(utf8), [&](std::string_view part, bool slashFollows) {
        const auto original = originals_.find(std::string(part));
        bytes += original == originals_.end() ? part : std::string_view(original->second);
        if (slashFollows) bytes += '/';
    });
    return bytes;
}

}  // namespace sapi::ftpclient
