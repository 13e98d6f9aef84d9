// The forms a user pastes a certificate's SHA-256 fingerprint in.
#include <gtest/gtest.h>

#include "ftp/services/sockets/TlsSettings.h"

namespace sapi::ftpclient {
namespace {

const std::string colons =
    "AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";

TEST(TlsFingerprint, AcceptedForms) {
    std::string bare;
    for (const char c : colons) {
        if (c != ':') bare += c;
    }
    std::string lower = bare;
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string &text : {colons, bare, lower, "sha256 Fingerprint=" + colons, "SHA256 Fingerprint=" + lower}) {
        const auto parsed = ParseFingerprint(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(FingerprintText(*parsed), colons) << text;
    }
}

TEST(TlsFingerprint, RefusedForms) {
    for (const std::string &text : {std::string(), colons.substr(3), colons + ":00", colons.substr(0, colons.size() - 1) + "G",
                                    std::string(64, 'x'), std::string("sha1 Fingerprint=AB:CD")}) {
        EXPECT_FALSE(ParseFingerprint(text)) << text;
    }
}

}  // namespace
}  // namespace sapi::ftpclient
