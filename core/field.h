#pragma once
// Field of two parallel charged cylinders in their cross-section plane.
// Coordinates in cm (origin at the plot's lower-left corner), potential in V:
// left electrode 0 V, right electrode 12.6 V.
#include <array>

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
// Throws potencor::Error only for non-finite input.
Evaluation evaluate(long double x_cm, long double y_cm);

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

} // namespace potencor::field
