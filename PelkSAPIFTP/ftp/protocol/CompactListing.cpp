#include "ftp/protocol/CompactListing.h"

namespace sapi::ftpclient {

namespace {

constexpr uint64_t folderBit = uint64_t{1} << 63;

}  // namespace

bool CompactListing::Add(const ListingEntry &entry) {
    const std::size_t used = names_.size() + records_.size() * sizeof(Record);
    if (entry.name.size() + sizeof(Record) > maxBytes - used) return false;
    // No file is 8 EiB long; a size that claims so is kept as the most we can say.
    const uint64_t size = entry.size < folderBit ? entry.size : folderBit - 1;
    records_.push_back({size | (entry.isDirectory ? folderBit : 0), static_cast<uint32_t>(names_.size()),
                        static_cast<uint32_t>(entry.name.size())});
    names_.append(entry.name);
    return true;
}

ListingEntry CompactListing::At(std::size_t index) const {
    const Record &record = records_[index];
    ListingEntry entry;
    entry.name = std::string_view(names_).substr(record.nameBegin, record.nameLength);
    entry.isDirectory = (record.sizeAndKind & folderBit) != 0;
    entry.size = record.sizeAndKind & ~folderBit;
    return entry;
}

void CompactListing::Clear() {
    std::string().swap(names_);
    std::vector<Record>().swap(records_);
}

}  // namespace sapi::ftpclient
