#include "ftp/protocol/DigestChoice.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "ftp/protocol/ListingText.h"

namespace sapi::ftpclient {

namespace {

// The strongest first, except that SHA-256 goes before SHA-512: for telling a
// damaged copy from a whole one they are alike, and SHA-256 costs half as
// much on both sides where the CPU has SHA instructions (1.5 GB/s against
// 0.75 GB/s here), and the server reads the whole file to answer.
constexpr DigestAlgorithm preferredFirst[] = {DigestAlgorithm::Sha256, DigestAlgorithm::Sha512,
                                              DigestAlgorithm::Sha1, DigestAlgorithm::Md5, DigestAlgorithm::Crc32};

// "SHA-1*" is listed and the server's current choice; "SHA-1" only listed.
struct Listed {
    bool offered = false;
    bool current = false;
};

Listed FindInHashList(std::string_view list, DigestAlgorithm algorithm) {
    Listed found;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        std::string_view name = list.substr(0, end);
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        const bool current = !name.empty() && name.back() == '*';
        if (current) name.remove_suffix(1);
        if (EqualsIgnoringCase(name, NameOf(algorithm))) return Listed{true, current};
    }
    return found;
}

bool XCommandListed(const FeatureSet &features, DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Sha256: return features.xsha256;
    case DigestAlgorithm::Sha1: return features.xsha1;
    case DigestAlgorithm::Md5: return features.xmd5;
    case DigestAlgorithm::Crc32: return features.xcrc;
    case DigestAlgorithm::Sha512: break;  // no X command for it is common enough to trust
    }
    return false;
}

const char *XVerbOf(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Sha256: return "XSHA256";
    case DigestAlgorithm::Sha1: return "XSHA1";
    case DigestAlgorithm::Md5: return "XMD5";
    default: return "XCRC";
    }
}

bool IsHex(std::string_view word) {
    for (const char c : word) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    }
    return !word.empty();
}

// Servers send CRC32 with or without leading zeros: it is taken as a
// number's digits, padded.
std::optional<std::string> DigestWord(std::string_view word, DigestAlgorithm algorithm) {
    const std::size_t length = HexLength(algorithm);
    const bool crc = algorithm == DigestAlgorithm::Crc32;
    if (!IsHex(word) || word.size() > length || (!crc && word.size() != length)) return std::nullopt;
    std::string digest(length - word.size(), '0');
    for (const char c : word) digest += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digest;
}

std::vector<std::string_view> WordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
        const std::size_t end = std::min(line.find(' '), line.size());
        if (end > 0) words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

}  // namespace

const char *NameOf(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Crc32: return "CRC32";
    case DigestAlgorithm::Md5: return "MD5";
    case DigestAlgorithm::Sha1: return "SHA-1";
    case DigestAlgorithm::Sha256: return "SHA-256";
    case DigestAlgorithm::Sha512: return "SHA-512";
    }
    return "?";
}

std::size_t HexLength(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Crc32: return 8;
    case DigestAlgorithm::Md5: return 32;
    case DigestAlgorithm::Sha1: return 40;
    case DigestAlgorithm::Sha256: return 64;
    case DigestAlgorithm::Sha512: return 128;
    }
    return 0;
}

bool IsCurrentHash(const FeatureSet &features, DigestAlgorithm algorithm) {
    return FindInHashList(features.hash, algorithm).current;
}

std::optional<DigestRequest> ChooseDigest(const FeatureSet &features) {
    for (const DigestAlgorithm algorithm : preferredFirst) {
        const Listed listed = FindInHashList(features.hash, algorithm);
        if (listed.offered) return DigestRequest{algorithm, "HASH"};
    }
    for (const DigestAlgorithm algorithm : preferredFirst) {
        if (XCommandListed(features, algorithm)) return DigestRequest{algorithm, XVerbOf(algorithm)};
    }
    return std::nullopt;
}

// The last line carries the answer; a "213-Computing SHA-256 digest" before it
// is the server's word that it is at work. HASH names its algorithm first; a
// digest of another algorithm is no answer.
std::optional<std::string> DigestIn(const FtpReply &reply, const DigestRequest &request) {
    if (!reply.IsSuccess() || reply.lines.empty() || reply.lines.back().size() < 4) return std::nullopt;
    const std::vector<std::string_view> words = WordsOf(std::string_view(reply.lines.back()).substr(4));
    std::size_t first = 0;
    std::size_t last = words.size();
    if (request.verb == "HASH") {
        if (words.size() < 3 || !EqualsIgnoringCase(words[0], NameOf(request.algorithm))) return std::nullopt;
        first = 2;  // past the algorithm and the byte range; the name follows
        last = 3;
    }
    for (std::size_t i = first; i < last; ++i) {
        if (std::optional<std::string> digest = DigestWord(words[i], request.algorithm)) return digest;
    }
    return std::nullopt;
}

}  // namespace sapi::ftpclient
