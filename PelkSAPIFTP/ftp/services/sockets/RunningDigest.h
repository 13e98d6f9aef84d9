// The digest of a transfer's bytes, taken as they pass: never a second read
// of the file. The SHA and MD5 families through OpenSSL's EVP, which uses
// the CPU's SHA instructions where it has them; CRC32 from a table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ftp/protocol/DigestChoice.h"

struct evp_md_ctx_st;

namespace sapi::ftpclient {

class RunningDigest {
public:
    explicit RunningDigest(DigestAlgorithm algorithm);
    ~RunningDigest();
    RunningDigest(const RunningDigest &) = delete;
    RunningDigest &operator=(const RunningDigest &) = delete;

    void Add(const void *data, std::size_t size);
    // Lower-case hex, as DigestIn gives the server's. Ends the digest.
    std::string Finish();
    DigestAlgorithm Algorithm() const { return algorithm_; }

private:
    struct ContextFree {
        void operator()(evp_md_ctx_st *context) const;
    };
    DigestAlgorithm algorithm_;
    std::unique_ptr<evp_md_ctx_st, ContextFree> context_;
    uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace sapi::ftpclient
