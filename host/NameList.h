// The names of one listing as sapihost keeps them: packed in a few blocks
// (a 100,000-entry folder costs its names and eight bytes each, not a string
// object and an allocation each), in the module's order until sorted. A list
// that came in order (most servers sort their own) needs no order of its
// own: four bytes a name more only for one that is sorted here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string_view>
#include <vector>

#include "platform/PackedStrings.h"

namespace sapihost {

class NameList {
public:
    void push_back(std::string_view name) {
        if (!names_.push_back(name)) return;  // longer than any listing record holds
        const std::size_t last = names_.size() - 1;
        if (last > 0 && name < names_[last - 1]) inOrder_ = false;
        if (!order_.empty()) order_.push_back(static_cast<uint32_t>(last));
    }
    std::size_t size() const { return names_.size(); }
    std::string_view operator[](std::size_t index) const { return names_[order_.empty() ? index : order_[index]]; }
    bool Contains(std::string_view name) const {
        for (std::size_t i = 0; i < size(); ++i)
            if ((*this)[i] == name) return true;
        return false;
    }
    void Sort() {
        if (inOrder_) return;
        order_.resize(size());
        std::iota(order_.begin(), order_.end(), uint32_t{0});
        std::sort(order_.begin(), order_.end(), [this](uint32_t a, uint32_t b) { return names_[a] < names_[b]; });
    }

private:
    sapi::PackedStrings<char> names_;
    std::vector<uint32_t> order_;  // empty: the names' own order
    bool inOrder_ = true;          // each name came after the one before it
};

}  // namespace sapihost
