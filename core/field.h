#pragma once
// Field of two parallel charged cylinders in their cross-section plane.
// Coordinates in cm (origin at the plot's lower-left corner), potential in V:
// left electrode 0 V, right electrode 12.6 V.
#include "core/fpcheck.h"

#include <array>
#include <cmath>

namespace potencor::field {

// Electrode geometry, cm.
inline constexpr long double xc1 = 9.35L;
inline constexpr long double xc2 = 33.5L;
inline constexpr long double yc = 15.0L;
inline constexpr long double R = 1.45L;

inline constexpr int kOutlinePoints = 200;

struct Evaluation {
    long double raw;   // ln of the distance ratio, before scaling
    long double volts; // scaled potential, V
};

// Potential at (x_cm, y_cm), with the unscaled value beside it.
// Throws potencor::Error for non-finite input, and "Floating point overflow"
// where a square overflows (|x| or |y| beyond about 1e2466 cm).
// Inline: it runs on every mouse move over the chart, and a call would pass
// and return each extended value through memory.
inline Evaluation evaluate(long double x_cm, long double y_cm);

inline long double potential(long double x_cm, long double y_cm)
{
    return evaluate(x_cm, y_cm).volts;
}

struct PointCm {
    long double x;
    long double y;
};

struct Outlines {
    std::array<PointCm, kOutlinePoints> left;  // Series2
    std::array<PointCm, kOutlinePoints> right; // Series3
};

// Both outlines, generated in one pass (left and right point i together),
// each an open polyline from angle 2*pi/200 to 2*pi.
Outlines electrodeOutlines();

// The electrodes' potentials, left and right.
inline constexpr long double kLeftElectrode_V = 0.0L;
inline constexpr long double kRightElectrode_V = 12.6L;

namespace detail {
inline constexpr long double kTwoPi = 6.283185307179586477L;
inline constexpr long double kOffset = 0.44708L;  // right surface's raw value / 2pi, 5 decimals
inline constexpr long double kFullScale = kRightElectrode_V - kLeftElectrode_V;
inline constexpr long double kDivisor = 0.89416L; // twice the offset
inline constexpr long double kMidX = 21.425L;     // cm, midpoint between the centres
inline constexpr long double kAxisY = 15.0L;      // cm, line through the centres
} // namespace detail

inline Evaluation evaluate(long double x_cm, long double y_cm)
{
    using namespace detail;
    fp::checkOperand(x_cm);
    fp::checkOperand(y_cm);

    // The geometry is re-read on every call, as the exercise's model does;
    // everything that depends on it alone folds to constants.
    const long double l = xc2 - xc1;
    const long double b = std::sqrt((l / 2) * (l / 2) - R * R);
    const long double xx = x_cm - kMidX;
    const long double yy = y_cm - kAxisY;

    // The interior cases come first: they keep the logarithm away from the
    // line charges, which lie inside the cylinders. Where yy * yy alone
    // reaches R * R neither interior test can hold (a rounded sum of
    // non-negative terms is no smaller than either), so both are skipped.
    long double raw;
    if (yy * yy < R * R && R * R > (xx - l / 2) * (xx - l / 2) + yy * yy) {
        const long double up = l / 2 - R + b;
        const long double dn = l / 2 - R - b;
        raw = std::log(std::sqrt(up * up + 0 * yy * yy) / std::sqrt(dn * dn + 0 * yy * yy));
    } else if (yy * yy < R * R && R * R > (xx + l / 2) * (xx + l / 2) + yy * yy) {
        const long double up = -l / 2 + R + b;
        const long double dn = -l / 2 + R - b;
        raw = std::log(std::sqrt(up * up) / std::sqrt(dn * dn));
    } else {
        const long double toLeftCharge = (xx + b) * (xx + b) + yy * yy;
        const long double toRightCharge = (xx - b) * (xx - b) + yy * yy;
        // With finite input the only possible fault is a square overflowing
        // (|x| or |y| beyond ~1e2466 cm). Such a point also fails both interior
        // tests and overflows here, so these two checks catch every case.
        // Outside the cylinders both distances exceed 1.3 cm, so the quotient
        // and the logarithm need no checks of their own.
        if (!fp::isFinite(toLeftCharge) || !fp::isFinite(toRightCharge)) [[unlikely]]
            fp::raise(msg::kFloatOverflow);
        raw = std::log(std::sqrt(toLeftCharge) / std::sqrt(toRightCharge));
    }
    const long double volts = (raw / kTwoPi + kOffset) * kFullScale / kDivisor;
    return {raw, volts};
}

} // namespace potencor::field
