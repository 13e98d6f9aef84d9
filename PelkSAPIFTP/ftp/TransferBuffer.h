// The one heap buffer of a transfer, reused for every block. Its bytes are not
// cleared: every block is read or filled before it is used.
#pragma once

#include <cstdint>
#include <memory>

namespace sapi {

class TransferBuffer {
public:
    explicit TransferBuffer(uint32_t size)
        : bytes_(std::make_unique_for_overwrite<unsigned char[]>(size)), size_(size) {}

    unsigned char *Data() { return bytes_.get(); }
    uint32_t Size() const { return size_; }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    uint32_t size_;
};

}  // namespace sapi
