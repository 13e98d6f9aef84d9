#include "ftp/protocol/FeatureSet.h"

#include <string_view>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

void NoteDigestCommand(std::string_view word, FeatureSet &features) {
    if (EqualsIgnoringCase(word, "XCRC")) features.xcrc = true;
    if (EqualsIgnoringCase(word, "XMD5")) features.xmd5 = true;
    if (EqualsIgnoringCase(word, "XSHA") || EqualsIgnoringCase(word, "XSHA1")) features.xsha1 = true;
    if (EqualsIgnoringCase(word, "XSHA256")) features.xsha256 = true;
}

}  // namespace

FeatureSet ParseFeatures(const FtpReply &reply) {
    FeatureSet features;
    if (reply.code != 211) return features;
    features.known = true;
    // The first and the last line carry the code; the features stand between,
    // each on a line of its own after a blank: " MLST type*;size*;".
    for (std::size_t i = 1; i + 1 < reply.lines.size(); ++i) {
        std::string_view line = reply.lines[i];
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        const std::string_view word = line.substr(0, line.find(' '));
        if (EqualsIgnoringCase(word, "MLST") || EqualsIgnoringCase(word, "MLSD")) features.mlsd = true;
        if (EqualsIgnoringCase(word, "SIZE")) features.size = true;
        if (EqualsIgnoringCase(word, "UTF8")) features.utf8 = true;
        if (EqualsIgnoringCase(word, "MDTM")) features.mdtm = true;
        if (EqualsIgnoringCase(word, "HASH") && word.size() < line.size()) features.hash = line.substr(word.size() + 1);
        NoteDigestCommand(word, features);
    }
    return features;
}

}  // namespace sapi::ftpclient
