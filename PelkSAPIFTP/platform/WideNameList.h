// The names of a listing as the host reads them (UTF-16), kept packed: each
// UTF-16 unit as one to three bytes (ASCII as one; a lone surrogate survives
// too), all names in a few blocks. A folder of a million entries costs about
// its names in bytes plus eight bytes each.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/PackedStrings.h"
#include "platform/WideText.h"

namespace sapi {

class WideNameList {
public:
    void push_back(WideView name);
    std::size_t size() const { return packed_.size(); }
    bool empty() const { return packed_.empty(); }
    WideString operator[](std::size_t index) const;
    // A name without a string of its own: its length in units, and the name
    // written to `out` (that many units, no terminator).
    std::size_t UnitsAt(std::size_t index) const;
    void DecodeAt(std::size_t index, WideChar *out) const;
    std::vector<WideString> ToVector() const;
    void clear() { packed_.clear(); }

private:
    PackedStrings<char> packed_;
};

}  // namespace sapi
