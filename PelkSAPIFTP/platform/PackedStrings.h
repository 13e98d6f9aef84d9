// Many short strings (the names of a listing) in a few large blocks: each
// string costs its characters and four bytes, instead of an allocation and
// a string object of its own. Strings are added at the end and read by index.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/BlockArray.h"

namespace sapi {

template <typename Char>
class PackedStrings {
public:
    using View = std::basic_string_view<Char>;
    static constexpr std::size_t blockUnits = 64 * 1024;
    static constexpr std::size_t maxLength = 0xFFFF;

    // False, with nothing added, for a string longer than maxLength (or past
    // the 4 Gi characters that starts can name).
    bool push_back(View text) {
        return push_back(text.size(), [&](Char *out) { std::copy(text.begin(), text.end(), out); });
    }
    // The same for a string of `length` characters that write(destination)
    // puts in place, for a caller that would otherwise build it elsewhere
    // first only to have it copied here.
    template <typename Write>
    bool push_back(std::size_t length, Write &&write) {
        if (length > maxLength) return false;
        if (blocks_.empty() || blockEnds_.back() + length > blockUnits || blockEnds_.back() == blockUnits) {
            if (blocks_.size() == maxBlocks) return false;
            blocks_.push_back(std::make_unique_for_overwrite<Char[]>(blockUnits));
            blockEnds_.push_back(0);
        }
        uint32_t &end = blockEnds_.back();
        write(blocks_.back().get() + end);
        starts_.push_back(static_cast<uint32_t>((blocks_.size() - 1) * blockUnits + end));
        end += static_cast<uint32_t>(length);
        textUnits_ += length;
        return true;
    }
    std::size_t size() const { return starts_.size(); }
    bool empty() const { return starts_.empty(); }
    // A string ends where the next one starts, or where its block's strings end.
    View operator[](std::size_t index) const {
        const uint32_t start = starts_[index];
        const std::size_t block = start / blockUnits;
        const std::size_t offset = start % blockUnits;
        const bool nextInBlock = index + 1 < starts_.size() && starts_[index + 1] / blockUnits == block;
        const std::size_t length = nextInBlock ? starts_[index + 1] - start : blockEnds_[block] - offset;
        return View(blocks_[block].get() + offset, length);
    }
    // Characters held, for callers that bound their memory.
    std::size_t TextUnits() const { return textUnits_; }

    // Frees what only the strings before `index` use; those are gone.
    void ReleaseBefore(std::size_t index) {
        if (index >= starts_.size()) return;
        const std::size_t firstKept = starts_[index] / blockUnits;
        for (; released_ < firstKept; ++released_) blocks_[released_].reset();
        starts_.ReleaseBefore(index);
    }
    void clear() {
        std::vector<std::unique_ptr<Char[]>>().swap(blocks_);
        std::vector<uint32_t>().swap(blockEnds_);
        starts_.clear();
        textUnits_ = 0;
        released_ = 0;
    }

private:
    // A string's start is one number, its block's and its place's in it.
    static constexpr std::size_t maxBlocks = static_cast<std::size_t>((uint64_t{UINT32_MAX} + 1) / blockUnits);

    std::vector<std::unique_ptr<Char[]>> blocks_;
    std::vector<uint32_t> blockEnds_;  // how much of each block its strings fill
    BlockArray<uint32_t> starts_;      // block * blockUnits + offset
    std::size_t textUnits_ = 0;
    std::size_t released_ = 0;  // text blocks before this one are freed
};

}  // namespace sapi
