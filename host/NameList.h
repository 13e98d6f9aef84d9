// The names of one listing as sapihost keeps them: packed in a few blocks
// (a 100,000-entry folder costs its names and four bytes each, not a string
// object and an allocation each), in the module's order until sorted. A list
// that came in order (most servers sort their own) needs no order of its
// own: eight bytes a name more only for one that is sorted here.
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
        const std::size_t last = names_.size() - 1;
        if (last > 0 && name < names_[last - 1]) inOrder_ = false;
        if (!order_.empty()) order_.push_back({0, static_cast<uint32_t>(last)});
    }
    std::size_t size() const { return names_.size(); }
    std::string_view operator[](std::size_t index) const {
        return names_[order_.empty() ? index : order_[index].index];
    }
    bool Contains(std::string_view name) const {
        for (std::size_t i = 0; i < size(); ++i)
            if ((*this)[i] == name) return true;
        return false;
    }
    // Most names differ within four bytes of the start they all share ("IMG_"
    // of "IMG_0001.jpg"...): those bytes, as one number beside each name's
    // place, decide most comparisons without a look at the names; only names
    // whose four bytes tie are compared whole.
    void Sort() {
        if (inOrder_) return;
        const std::size_t shared = SharedStart();
        order_.resize(size());
        for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = {KeyAfter(names_[i], shared), i};
        std::sort(order_.begin(), order_.end(), [&](const Place &a, const Place &b) {
            if (a.key != b.key) return a.key < b.key;
            return names_[a.index].substr(shared) < names_[b.index].substr(shared);
        });
    }

private:
    struct Place {
        uint32_t key;    // the four bytes after the shared start, the first highest
        uint32_t index;  // in names_
    };

    // How many bytes every name starts with alike.
    std::size_t SharedStart() const {
        std::string_view first = names_.empty() ? std::string_view() : names_[0];
        for (std::size_t i = 1; i < names_.size() && !first.empty(); ++i) {
            const std::string_view name = names_[i];
            const auto differ = std::mismatch(first.begin(), first.end(), name.begin(), name.end());
            first = first.substr(0, static_cast<std::size_t>(differ.first - first.begin()));
        }
        return first.size();
    }

    // Bytes past a name's end count as 0, below any byte of a name, as a
    // shorter name comes before a longer one it begins.
    static uint32_t KeyAfter(std::string_view name, std::size_t shared) {
        uint32_t key = 0;
        for (std::size_t i = shared; i < shared + 4; ++i) {
            key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
        }
        return key;
    }

    sapi::PackedStrings<char> names_;
    std::vector<Place> order_;  // empty: the names' own order
    bool inOrder_ = true;       // each name came after the one before it
};

}  // namespace sapihost
