#pragma once
// 80-bit extended values taken apart and put together again by arithmetic,
// so that what the journal keeps does not depend on how the host lays the
// type out in memory. The ten bytes are the x87 layout: the significand with
// its explicit integer bit, little-endian, then the sign and the 15-bit
// biased exponent, little-endian.
#include <array>
#include <cstdint>

namespace potencor::extended {

struct Parts {
    bool negative = false;
    std::uint16_t biasedExponent = 0; // 15 bits; 0 for zero and subnormals
    std::uint64_t significand = 0;    // the integer bit included
    bool operator==(const Parts&) const = default;
};

// Every finite value and the infinities exactly; a NaN as a quiet NaN.
Parts parts(long double v);
// The value the parts stand for. What the x87 refuses as an operand (an
// unnormal, a pseudo-infinity) is a NaN.
long double value(const Parts& p);

using Bytes = std::array<unsigned char, 10>;
Bytes toBytes(long double v);
long double fromBytes(const Bytes& b);

} // namespace potencor::extended
