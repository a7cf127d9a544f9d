#include "core/field.h"

#include "core/fpcheck.h"

#include <cmath>

namespace potencor::field {
namespace {
constexpr long double kTwoPi = 6.283185307179586477L;
constexpr long double kOffset = 0.44708L;  // right surface's raw value / 2pi, 5 decimals
constexpr long double kFullScale = 12.6L;  // V
constexpr long double kDivisor = 0.89416L; // twice the offset
constexpr long double kMidX = 21.425L;     // cm, midpoint between the centres
constexpr long double kAxisY = 15.0L;      // cm, line through the centres
} // namespace

Evaluation evaluate(long double x_cm, long double y_cm)
{
    fp::checkOperand(x_cm);
    fp::checkOperand(y_cm);

    // The geometry is re-read on every call, as the exercise's model does.
    const long double l = xc2 - xc1;
    const long double b = fp::sqrt((l / 2) * (l / 2) - R * R);
    const long double xx = x_cm - kMidX;
    const long double yy = y_cm - kAxisY;

    // The interior cases come first: they keep the logarithm away from the
    // line charges, which lie inside the cylinders.
    long double raw;
    if (R * R > fp::add(fp::mul(xx - l / 2, xx - l / 2), fp::mul(yy, yy))) {
        const long double up = l / 2 - R + b;
        const long double dn = l / 2 - R - b;
        raw = fp::ln(fp::div(fp::sqrt(up * up + 0 * yy * yy), fp::sqrt(dn * dn + 0 * yy * yy)));
    } else if (R * R > fp::add(fp::mul(xx + l / 2, xx + l / 2), fp::mul(yy, yy))) {
        const long double up = -l / 2 + R + b;
        const long double dn = -l / 2 + R - b;
        raw = fp::ln(fp::div(fp::sqrt(up * up), fp::sqrt(dn * dn)));
    } else {
        const long double toLeftCharge = fp::add(fp::mul(xx + b, xx + b), fp::mul(yy, yy));
        const long double toRightCharge = fp::add(fp::mul(xx - b, xx - b), fp::mul(yy, yy));
        raw = fp::ln(fp::div(fp::sqrt(toLeftCharge), fp::sqrt(toRightCharge)));
    }
    const long double volts = fp::checkResult((raw / kTwoPi + kOffset) * kFullScale / kDivisor);
    return {raw, volts};
}

Outlines electrodeOutlines()
{
    Outlines o{};
    for (int i = 1; i <= kOutlinePoints; ++i) {
        const long double a = i * kTwoPi / kOutlinePoints + 0;
        o.left[i - 1] = {std::cos(a) * 1.45L + 9.35L, std::sin(a) * 1.45L + 15.0L};
        o.right[i - 1] = {std::cos(a) * 1.45L + 33.5L, std::sin(a) * 1.45L + 15.0L};
    }
    return o;
}

} // namespace potencor::field
