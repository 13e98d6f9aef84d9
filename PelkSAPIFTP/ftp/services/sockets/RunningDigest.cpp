#include "ftp/services/sockets/RunningDigest.h"

#include <openssl/evp.h>

#include <array>
#include <new>
#include <stdexcept>

#include "ftp/services/sockets/TlsLibrary.h"

namespace sapi::ftpclient {

namespace {

// The reflected polynomial of zlib's, PNG's and the servers' CRC32.
std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i;
        for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? 0xEDB88320u ^ (value >> 1) : value >> 1;
        table[i] = value;
    }
    return table;
}

const EVP_MD *DigestOf(DigestAlgorithm algorithm) {
    switch (algorithm) {
    case DigestAlgorithm::Md5: return EVP_md5();
    case DigestAlgorithm::Sha1: return EVP_sha1();
    case DigestAlgorithm::Sha256: return EVP_sha256();
    case DigestAlgorithm::Sha512: return EVP_sha512();
    case DigestAlgorithm::Crc32: break;
    }
    return nullptr;
}

std::string HexOf(const unsigned char *bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

}  // namespace

void RunningDigest::ContextFree::operator()(evp_md_ctx_st *context) const { EVP_MD_CTX_free(context); }

RunningDigest::RunningDigest(DigestAlgorithm algorithm) : algorithm_(algorithm) {
    const EVP_MD *digest = DigestOf(algorithm);
    if (digest == nullptr) return;
    // Started the module's way, as for TLS: left to start itself, OpenSSL
    // registers an exit handler that a host which unloads the module would
    // run into at its own exit (seen in the Windows DLL under Wine).
    if (!StartTls()) throw std::runtime_error("OpenSSL did not start");
    context_.reset(EVP_MD_CTX_new());
    if (!context_ || EVP_DigestInit_ex(context_.get(), digest, nullptr) != 1) throw std::bad_alloc();
}

RunningDigest::~RunningDigest() = default;

void RunningDigest::Add(const void *data, std::size_t size) {
    if (context_) {
        EVP_DigestUpdate(context_.get(), data, size);
        return;
    }
    static const std::array<uint32_t, 256> table = MakeCrcTable();
    const auto *bytes = static_cast<const unsigned char *>(data);
    for (std::size_t i = 0; i < size; ++i) crc_ = table[(crc_ ^ bytes[i]) & 0xFF] ^ (crc_ >> 8);
}

std::string RunningDigest::Finish() {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (context_) {
        EVP_DigestFinal_ex(context_.get(), value, &size);
        return HexOf(value, size);
    }
    const uint32_t crc = crc_ ^ 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) value[i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    return HexOf(value, 4);
}

}  // namespace sapi::ftpclient
