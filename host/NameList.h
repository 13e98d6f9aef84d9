// The names of one listing as sapihost keeps them: packed in a few blocks
// (a 100,000-entry folder costs its names and twelve bytes each, not a
// string object and an allocation each), in the module's order until sorted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/PackedStrings.h"

namespace sapihost {

class NameList {
public:
    void push_back(std::string_view name) {
        if (!names_.push_back(name)) return;  // longer than any listing record holds
        order_.push_back(static_cast<uint32_t>(order_.size()));
    }
    std::size_t size() const { return order_.size(); }
    std::string_view operator[](std::size_t index) const { return names_[order_[index]]; }
    bool Contains(std::string_view name) const {
        for (std::size_t i = 0; i < size(); ++i)
            if ((*this)[i] == name) return true;
        return false;
    }
    void Sort() {
        std::sort(order_.begin(), order_.end(), [this](uint32_t a, uint32_t b) { return names_[a] < names_[b]; });
    }

private:
    sapi::PackedStrings<char> names_;
    std::vector<uint32_t> order_;
};

}  // namespace sapihost
