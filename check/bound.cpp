#include "check/bound.h"

#include "core/field.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace potencor::check {
namespace {

using field::detail::kAxisY;
using field::detail::kMidX;

// Rounding allowance, V. Everything here runs in extended precision with
// round-to-nearest: some thirty operations, each off by at most 2^-64
// relatively, on quantities no larger than the coordinates, so the bound
// itself moves by well under 1e-15 V. The program's own evaluation (a similar
// chain of operations) and fixed3's reduction to 18 digits (5e-18 relatively)
// differ from the exact values by as little. 1e-12 V covers all three a
// thousand times over and is still eight orders below the printed unit.
constexpr long double kFloatAllowance = 1e-12L;
// The same for coordinates, cm: the parsed value is the nearest extended
// number to the printed decimal (2^-64 relatively) and the box's edges are
// computed once more.
constexpr long double kCoordAllowance = 1e-15L;

struct Iv {
    long double lo, hi;
};

Iv operator+(Iv a, long double c) { return {a.lo + c, a.hi + c}; }
Iv operator+(Iv a, Iv b) { return {a.lo + b.lo, a.hi + b.hi}; }
Iv operator-(Iv a, Iv b) { return {a.lo - b.hi, a.hi - b.lo}; }

Iv sq(Iv a)
{
    const long double l = a.lo * a.lo, h = a.hi * a.hi;
    if (a.lo <= 0 && a.hi >= 0)
        return {0, std::max(l, h)};
    return {std::min(l, h), std::max(l, h)};
}

// a / b for b > 0.
Iv divPositive(Iv a, Iv b)
{
    const long double c[] = {a.lo / b.lo, a.lo / b.hi, a.hi / b.lo, a.hi / b.hi};
    return {*std::min_element(c, c + 4), *std::max_element(c, c + 4)};
}

long double magnitude(Iv a) { return std::max(std::fabs(a.lo), std::fabs(a.hi)); }

long double toVolts(long double raw)
{
    using namespace field::detail;
    return (raw / kTwoPi + kOffset) * kFullScale / kDivisor;
}

long double chargeOffset()
{
    const long double l = field::xc2 - field::xc1;
    return std::sqrt((l / 2) * (l / 2) - field::R * field::R);
}

// The electrodes' potentials, as the program computes them inside.
const long double kLeftVolts = field::potential(field::xc1, field::yc);
const long double kRightVolts = field::potential(field::xc2, field::yc);
const long double kB = chargeOffset();

enum class Place { Inside, Outside, Straddles };

// Where the box lies relative to the cylinder around (cx, yc). The margins
// make Inside and Outside hold for the program's rounded tests as well.
Place place(Iv X, Iv Y, long double cx)
{
    auto nearFar = [](Iv a, long double c) {
        const long double d1 = std::fabs(a.lo - c), d2 = std::fabs(a.hi - c);
        const long double nearest = (a.lo <= c && c <= a.hi) ? 0 : std::min(d1, d2);
        return Iv{nearest, std::max(d1, d2)};
    };
    const Iv dx = nearFar(X, cx), dy = nearFar(Y, field::yc);
    const long double r2 = field::R * field::R;
    if (dx.hi * dx.hi + dy.hi * dy.hi < r2 * (1 - 1e-12L))
        return Place::Inside;
    if (dx.lo * dx.lo + dy.lo * dy.lo > r2 * (1 + 1e-12L))
        return Place::Outside;
    return Place::Straddles;
}

} // namespace

long double halfUnit(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    int E = 0; // digits before the separator
    if (const auto e = text.find('E'); e != std::string_view::npos) {
        const std::string_view exponent = text.substr(e + 1);
        int exp10 = 0;
        std::from_chars(exponent.data(), exponent.data() + exponent.size(), exp10);
        E = exp10 + 1;
    } else {
        while (E < static_cast<int>(text.size()) && text[E] >= '0' && text[E] <= '9')
            ++E;
        if (E == 1 && text[0] == '0')
            E = 0;
    }
    // fixed3 keeps min(E + 3, 8) significant digits. Powers of ten are exact,
    // so the half unit is the nearest extended value to the decimal one.
    const int k = std::max(-3, E - 8);
    if (k == -3)
        return 0.0005L; // every coordinate and potential the program prints
    return k < 0 ? 0.5L / std::pow(10.0L, -k) : 0.5L * std::pow(10.0L, k);
}

Interval potentialRange(long double x, long double y, long double hx, long double hy)
{
    hx += std::fabs(x) * kCoordAllowance + kCoordAllowance;
    hy += std::fabs(y) * kCoordAllowance + kCoordAllowance;
    const Iv X{x - hx, x + hx}, Y{y - hy, y + hy};
    const Place left = place(X, Y, field::xc1), right = place(X, Y, field::xc2);

    Interval r{};
    if (!(std::fabs(x) < 1e300L && std::fabs(y) < 1e300L)) {
        // Squares would overflow; the potential lies between the electrodes'.
        r = {kLeftVolts, kRightVolts};
    } else if (left == Place::Inside) {
        r = {kLeftVolts, kLeftVolts};
    } else if (right == Place::Inside) {
        r = {kRightVolts, kRightVolts};
    } else {
        // Mean-value form of the line charges' formula over the box: exact to
        // first order, and valid on the part of the box outside the cylinders
        // (the only part where the program uses it).
        const Iv XX{X.lo - kMidX, X.hi - kMidX}, YY{Y.lo - kAxisY, Y.hi - kAxisY};
        const Iv d1 = sq(XX + kB) + sq(YY), d2 = sq(XX + -kB) + sq(YY);
        if (d1.lo <= 0 || d2.lo <= 0) {
            // A box around a line charge (huge coordinates' coarse units):
            // the potential lies between the electrodes' anyway.
            r = {kLeftVolts, kRightVolts};
        } else {
            const Iv gx = divPositive(XX + kB, d1) - divPositive(XX + -kB, d2);
            const Iv gy = divPositive(YY, d1) - divPositive(YY, d2);
            const long double xx = x - kMidX, yy = y - kAxisY;
            const long double raw = std::log(std::sqrt((xx + kB) * (xx + kB) + yy * yy)
                                             / std::sqrt((xx - kB) * (xx - kB) + yy * yy));
            const long double spread = magnitude(gx) * hx + magnitude(gy) * hy;
            r = {toVolts(raw - spread), toVolts(raw + spread)};
        }
        // Inside a cylinder the program returns the surface's value.
        if (left == Place::Straddles)
            r.lo = std::min(r.lo, kLeftVolts), r.hi = std::max(r.hi, kLeftVolts);
        if (right == Place::Straddles)
            r.lo = std::min(r.lo, kRightVolts), r.hi = std::max(r.hi, kRightVolts);
        // Outside the cylinders the potential lies between theirs (its level
        // lines are circles around the line charges, the surfaces among them).
        r.lo = std::clamp(r.lo, kLeftVolts, kRightVolts);
        r.hi = std::clamp(r.hi, kLeftVolts, kRightVolts);
    }
    return {r.lo - kFloatAllowance, r.hi + kFloatAllowance};
}

bool printable(const Interval& range, long double phi, long double half)
{
    return phi + half >= range.lo && phi - half <= range.hi;
}

} // namespace potencor::check
