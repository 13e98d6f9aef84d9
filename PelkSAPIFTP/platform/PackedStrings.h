// Many short strings (the names of a listing) in a few large blocks: each
// string costs its characters and eight bytes, instead of an allocation and
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

    // False, with nothing added, for a string longer than maxLength.
    bool push_back(View text) {
        return push_back(text.size(), [&](Char *out) { std::copy(text.begin(), text.end(), out); });
    }
    // The same for a string of `length` characters that write(destination)
    // puts in place, for a caller that would otherwise build it elsewhere
    // first only to have it copied here.
    template <typename Write>
    bool push_back(std::size_t length, Write &&write) {
        if (length > maxLength) return false;
        if (blocks_.empty() || used_ == blockUnits || used_ + length > blockUnits) {
            blocks_.push_back(std::make_unique_for_overwrite<Char[]>(blockUnits));
            used_ = 0;
        }
        write(blocks_.back().get() + used_);
        entries_.push_back({static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint16_t>(used_),
                            static_cast<uint16_t>(length)});
        used_ += length;
        textUnits_ += length;
        return true;
    }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    View operator[](std::size_t index) const {
        const Entry &entry = entries_[index];
        return View(blocks_[entry.block].get() + entry.offset, entry.length);
    }
    // Characters held, for callers that bound their memory.
    std::size_t TextUnits() const { return textUnits_; }

    // Frees what only the strings before `index` use; those are gone.
    void ReleaseBefore(std::size_t index) {
        if (index >= entries_.size()) return;
        const uint32_t firstKept = entries_[index].block;
        for (; released_ < firstKept; ++released_) blocks_[released_].reset();
        entries_.ReleaseBefore(index);
    }
    void clear() {
        std::vector<std::unique_ptr<Char[]>>().swap(blocks_);
        entries_.clear();
        used_ = 0;
        textUnits_ = 0;
        released_ = 0;
    }

private:
    struct Entry {
        uint32_t block;
        uint16_t offset;  // blockUnits is 2^16: every offset of a block fits
        uint16_t length;
    };
    static_assert(blockUnits - 1 <= UINT16_MAX && sizeof(Entry) == 8, "entries stay small");

    std::vector<std::unique_ptr<Char[]>> blocks_;
    BlockArray<Entry> entries_;
    std::size_t used_ = 0;
    std::size_t textUnits_ = 0;
    uint32_t released_ = 0;  // text blocks before this one are freed
};

}  // namespace sapi
