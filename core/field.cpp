#include "core/field.h"

#include <cmath>

namespace potencor::field {

Outlines electrodeOutlines()
{
    Outlines o{};
    for (int i = 1; i <= kOutlinePoints; ++i) {
        const long double a = i * detail::kTwoPi / kOutlinePoints + 0;
        o.left[i - 1] = {std::cos(a) * 1.45L + 9.35L, std::sin(a) * 1.45L + 15.0L};
        o.right[i - 1] = {std::cos(a) * 1.45L + 33.5L, std::sin(a) * 1.45L + 15.0L};
    }
    return o;
}

} // namespace potencor::field
