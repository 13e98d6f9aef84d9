// The names of a listing as the host reads them (UTF-16), kept packed: each
// UTF-16 unit as one to three bytes (ASCII as one; a lone surrogate survives
// too), all names in a few blocks. A folder of a million entries costs about
// its names in bytes plus four bytes each.
#pragma once

#include <cstddef>
#include <string_view>
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

    // A name without a string of its own, for a caller that writes it
    // somewhere: its length in units, and its units written to `out` (that
    // many, no terminator). Valid until the list is next changed.
    class Name {
    public:
        explicit Name(std::string_view bytes);
        std::size_t Units() const { return units_; }
        void CopyTo(WideChar *out) const;

    private:
        std::string_view bytes_;
        bool ascii_;
        std::size_t units_;
    };
    Name At(std::size_t index) const { return Name(packed_[index]); }
    std::vector<WideString> ToVector() const;
    void clear() { packed_.clear(); }

private:
    PackedStrings<char> packed_;
};

}  // namespace sapi
