#pragma once
// What the model allows a printed protocol line to say: the range of the
// potential over every point that prints as the line's coordinates.
#include <string_view>

namespace potencor::check {

struct Interval {
    long double lo;
    long double hi;
    bool contains(long double v) const { return lo <= v && v <= hi; }
};

// Half the unit of the last digit fixed3 prints for this number text: 0.0005
// up to five integer digits, more where the 8-digit cap drops decimals.
long double halfUnit(std::string_view fixed3Text);

// A rigorous enclosure of the values the program's potential (V) takes at any
// point of the box [x - hx, x + hx] x [y - hy, y + hy] (cm), as the program
// computes them in extended precision.
Interval potentialRange(long double x_cm, long double y_cm, long double hx_cm, long double hy_cm);

// Whether the printed potential phi (its value and its half unit, V) can be
// what fixed3 made of some value in range.
bool printable(const Interval& range, long double phi_V, long double halfUnit_V);

} // namespace potencor::check
