#include "parameters/ParameterSet.h"

#include <algorithm>

namespace sapi {

bool KeyOrder::operator()(std::string_view left, std::string_view right) const noexcept {
    return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                        [](char a, char b) {
                                            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
                                        });
}

}  // namespace sapi
