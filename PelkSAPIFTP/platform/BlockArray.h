// A growing array kept in fixed blocks instead of one buffer that doubles: no
// element is ever moved, growing never holds the old and the new buffer at
// once, and a reader that walks it front to back can give back the blocks it
// has passed.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace sapi {

template <typename T, std::size_t BlockElements = 4096>
class BlockArray {
public:
    void push_back(const T &value) {
        if (count_ % BlockElements == 0) blocks_.push_back(std::make_unique_for_overwrite<T[]>(BlockElements));
        blocks_.back()[count_ % BlockElements] = value;
        ++count_;
    }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Elements before a ReleaseBefore are gone: reading one is a fault.
    const T &operator[](std::size_t index) const { return blocks_[index / BlockElements][index % BlockElements]; }
    T &back() { return (*this)[count_ - 1]; }

    // Frees the blocks that hold only elements before `index`.
    void ReleaseBefore(std::size_t index) {
        for (; released_ < index / BlockElements && released_ < blocks_.size(); ++released_) {
            blocks_[released_].reset();
        }
    }
    void clear() {
        std::vector<std::unique_ptr<T[]>>().swap(blocks_);
        count_ = 0;
        released_ = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t count_ = 0;
    std::size_t released_ = 0;  // blocks before this one are freed
};

}  // namespace sapi
