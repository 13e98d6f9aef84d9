// A parameter set: keyed wide texts, each with a kind the plug-in never reads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/WideText.h"

namespace sapi {

struct ParameterValue {
    int32_t kind = 0;
    WideString value;
};

// Keys sort by their bytes read as unsigned values, a shorter key before any
// longer key it begins: "Title" < "title", and bytes from 0x80 after ASCII,
// whatever the signedness of char on the platform. Transparent, so a lookup by
// the host's pointer builds no string.
struct KeyOrder {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const noexcept;
};

using ParameterSet = std::map<std::string, ParameterValue, KeyOrder>;

}  // namespace sapi
