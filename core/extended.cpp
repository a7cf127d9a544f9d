#include "core/extended.h"

#include <cmath>
#include <limits>

namespace potencor::extended {
namespace {

constexpr int kBias = 16383;
constexpr std::uint16_t kSpecial = 0x7FFF; // the exponent of infinities and NaNs
constexpr std::uint64_t kIntegerBit = std::uint64_t{1} << 63;
// A subnormal is significand * 2^kSubnormalScale, as is a normal of exponent 1.
constexpr int kSubnormalScale = 1 - kBias - 63;

} // namespace

Parts parts(long double v)
{
    Parts p;
    p.negative = std::signbit(v);
    if (std::isnan(v)) {
        p.biasedExponent = kSpecial;
        p.significand = kIntegerBit | (kIntegerBit >> 1);
        return p;
    }
    if (std::isinf(v)) {
        p.biasedExponent = kSpecial;
        p.significand = kIntegerBit;
        return p;
    }
    if (v == 0)
        return p;
    const long double magnitude = std::fabs(v);
    int exponent = 0;
    const long double fraction = std::frexp(magnitude, &exponent); // in [0.5, 1): exact
    const int biased = exponent - 1 + kBias;
    if (biased >= 1) {
        p.biasedExponent = static_cast<std::uint16_t>(biased);
        p.significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    } else {
        p.significand = static_cast<std::uint64_t>(std::ldexp(magnitude, -kSubnormalScale));
    }
    return p;
}

long double value(const Parts& p)
{
    long double v;
    if (p.biasedExponent == kSpecial)
        v = p.significand == kIntegerBit ? std::numeric_limits<long double>::infinity()
                                         : std::numeric_limits<long double>::quiet_NaN();
    else if (p.biasedExponent == 0)
        v = std::ldexp(static_cast<long double>(p.significand), kSubnormalScale);
    else if ((p.significand & kIntegerBit) == 0)
        v = std::numeric_limits<long double>::quiet_NaN();
    else
        v = std::ldexp(static_cast<long double>(p.significand), p.biasedExponent - 1 + kSubnormalScale);
    return p.negative ? -v : v;
}

Bytes toBytes(long double v)
{
    const Parts p = parts(v);
    Bytes b{};
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<unsigned char>(p.significand >> (8 * i));
    const unsigned top = p.biasedExponent | (p.negative ? 0x8000u : 0u);
    b[8] = static_cast<unsigned char>(top & 0xFF);
    b[9] = static_cast<unsigned char>(top >> 8);
    return b;
}

long double fromBytes(const Bytes& b)
{
    Parts p;
    for (int i = 7; i >= 0; --i)
        p.significand = (p.significand << 8) | b[i];
    const unsigned top = b[8] | (unsigned{b[9]} << 8);
    p.biasedExponent = static_cast<std::uint16_t>(top & kSpecial);
    p.negative = (top & 0x8000u) != 0;
    return value(p);
}

} // namespace potencor::extended
