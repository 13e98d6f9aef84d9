// The numbers the transfers share: open flags, buffer sizes, the patience
// with empty reads and failed opens.
#pragma once

#include <cstdint>

#include "ftp/services/WinInetConstants.h"

namespace sapi::transfer {

// Every retrieval, and the store of a host-fed stream, bypasses the cache.
constexpr uint32_t uncachedBinaryFlags =
    wininet::INTERNET_FLAG_RELOAD | wininet::INTERNET_FLAG_NO_CACHE_WRITE | wininet::FTP_TRANSFER_TYPE_BINARY;
// The store of a local file asks for binary mode and nothing else.
constexpr uint32_t uploadFlags = wininet::FTP_TRANSFER_TYPE_BINARY;

constexpr uint32_t readAssetBufferSize = 0x40000;      // 262,144
constexpr uint32_t downloadBufferSize = 0x10000;       // 65,536
constexpr uint32_t writeAssetBufferSize = 0x40000;     // 262,144
constexpr uint32_t uploadBufferSize = 0x100000;        // 1,048,576

constexpr int emptyReadRetries = 10;
constexpr int openAttempts = 30;
constexpr uint32_t retryWaitMilliseconds = 1000;

constexpr uint32_t sizeReplyCapacity = 261;
constexpr uint32_t trialReadSize = 32;

}  // namespace sapi::transfer
