#include "ftp/protocol/CompactListing.h"

namespace sapi::ftpclient {

namespace {

constexpr uint64_t folderBit = uint64_t{1} << 63;
constexpr std::size_t bytesPerRecord = 12;  // a name's start and its size and kind

}  // namespace

bool CompactListing::Add(const ListingEntry &entry) {
    const std::size_t used = names_.TextUnits() + names_.size() * bytesPerRecord;
    if (entry.name.size() + bytesPerRecord > maxBytes - used) return false;
    if (!names_.push_back(entry.name)) return false;
    // No file is 8 EiB long; a size that claims so is kept as the most we can say.
    const uint64_t size = entry.size < folderBit ? entry.size : folderBit - 1;
    sizeAndKind_.push_back(size | (entry.isDirectory ? folderBit : 0));
    return true;
}

ListingEntry CompactListing::At(std::size_t index) const {
    ListingEntry entry;
    entry.name = names_[index];
    entry.isDirectory = (sizeAndKind_[index] & folderBit) != 0;
    entry.size = sizeAndKind_[index] & ~folderBit;
    return entry;
}

void CompactListing::ReleaseBefore(std::size_t index) {
    names_.ReleaseBefore(index);
    sizeAndKind_.ReleaseBefore(index);
}

void CompactListing::Clear() {
    names_.clear();
    sizeAndKind_.clear();
}

}  // namespace sapi::ftpclient
