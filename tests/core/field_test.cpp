#include "core/field.h"

#include "tests/core/table.h"

#include <array>
#include <cmath>
#include <numbers>
#include <ostream>
#include <utility>

namespace potencor::field {
namespace {

// ---- Potential at the points the exercise's answers are checked against ----

struct PotentialRow {
    const char* name;
    long double x;     // cm
    long double y;     // cm
    long double volts; // to 6 decimals
    friend void PrintTo(const PotentialRow& r, std::ostream* os) { *os << r.name; }
};

const PotentialRow kPotentialRows[] = {
    {"Midpoint", 21.425L, 15.0L, 6.3L},
    {"PlotOrigin", 0.0L, 0.0L, 4.671924L},
    {"PlotTopRight", 42.83L, 30.0L, 7.928305L},
    {"AxisRightHalf", 30.0L, 15.0L, 10.327914L},
    {"AxisLeftHalf", 15.0L, 15.0L, 3.615537L},
    {"RightCentre", 33.5L, 15.0L, 12.600022L},
    {"RightSurfaceFacingMid", 32.05L, 15.0L, 12.600022L},
    {"JustOutsideRight", 32.04L, 15.0L, 12.582631L},
    {"LeftCentre", 9.35L, 15.0L, -0.000022L},
    {"LeftSurfaceFacingMid", 10.8L, 15.0L, -0.000022L},
    {"JustOutsideLeft", 10.81L, 15.0L, 0.017369L},
    {"RightOfMid", 21.725L, 15.0L, 6.412275L},
    {"LeftOfMid", 21.125L, 15.0L, 6.187725L},
};

class PotentialTable : public testing::TestWithParam<PotentialRow> {};

TEST_P(PotentialTable, MatchesReference)
{
    const PotentialRow& row = GetParam();
    EXPECT_NEAR(static_cast<double>(potential(row.x, row.y)), static_cast<double>(row.volts), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Field, PotentialTable, testing::ValuesIn(kPotentialRows),
                         test::RowName());

TEST(Potential, MidpointIsExactlyHalfScale)
{
    const Evaluation e = evaluate(21.425L, 15.0L);
    EXPECT_EQ(e.raw, 0.0L);
    EXPECT_EQ(e.volts, 6.3L);
}

// ---- The electrodes ----

struct Electrode {
    long double cx; // cm
    long double volts;
};
constexpr Electrode kLeft{9.35L, -0.0000218L};
constexpr Electrode kRight{33.5L, 12.6000218L};

TEST(Potential, ElectrodeInteriorsAreAtTheirSurfaceValue)
{
    for (const Electrode& el : {kLeft, kRight}) {
        const long double centre = potential(el.cx, 15.0L);
        EXPECT_NEAR(static_cast<double>(centre), static_cast<double>(el.volts), 1e-7);
        // Everywhere strictly inside: the very same value, not just close to it.
        for (const auto& [dx, dy] : {std::pair{1.0L, 0.5L}, {-1.4L, 0.0L}, {0.0L, -1.44L},
                                     {0.7L, 1.2L}, {-1.0L, -1.0L}}) {
            SCOPED_TRACE(testing::Message() << "cx=" << static_cast<double>(el.cx)
                                            << " dx=" << static_cast<double>(dx)
                                            << " dy=" << static_cast<double>(dy));
            EXPECT_EQ(potential(el.cx + dx, 15.0L + dy), centre);
        }
    }
}

TEST(Potential, SurfacesAreEquipotentials)
{
    // Just outside the surface, all around: the outside formula must meet the
    // interior value, which only holds with the right line-charge position b.
    for (const Electrode& el : {kLeft, kRight}) {
        for (int k = 0; k < 36; ++k) {
            const long double a = k * std::numbers::pi_v<long double> / 18;
            const long double r = 1.45L + 1e-9L;
            const long double v = potential(el.cx + r * std::cos(a), 15.0L + r * std::sin(a));
            EXPECT_NEAR(static_cast<double>(v), static_cast<double>(el.volts), 1e-7)
                << "cx=" << static_cast<double>(el.cx) << " angle step " << k;
        }
    }
}

TEST(Potential, MirroredPointsAddUpToFullScale)
{
    for (int i = 0; i <= 86; ++i) {
        for (int j = 0; j <= 60; ++j) {
            const long double x = i * 0.5L;
            const long double y = j * 0.5L;
            const long double sum = potential(x, y) + potential(42.85L - x, y);
            ASSERT_NEAR(static_cast<double>(sum), 12.6, 1e-12) << "x=" << i * 0.5 << " y=" << j * 0.5;
        }
    }
}

TEST(Potential, DoesNotDependOnTheSideOfTheAxis)
{
    for (int i = 0; i <= 86; ++i) {
        for (int j = 1; j <= 30; ++j) {
            const long double x = i * 0.5L;
            const long double d = j * 0.5L;
            ASSERT_EQ(potential(x, 15.0L + d), potential(x, 15.0L - d))
                << "x=" << i * 0.5 << " d=" << j * 0.5;
        }
    }
}

// ---- Outlines ----

TEST(Outlines, AreOpenCounterClockwisePolylinesOfTwoHundredPoints)
{
    const Outlines o = electrodeOutlines();
    ASSERT_EQ(o.left.size(), 200u);
    ASSERT_EQ(o.right.size(), 200u);

    const long double step = 2 * std::numbers::pi_v<long double> / 200;
    const long double chord = 2 * 1.45L * std::sin(step / 2);
    struct Side {
        const std::array<PointCm, kOutlinePoints>& points;
        long double cx;
    };
    for (const Side& side : {Side{o.left, 9.35L}, Side{o.right, 33.5L}}) {
        SCOPED_TRACE(testing::Message() << "centre x=" << static_cast<double>(side.cx));
        const auto& p = side.points;
        // Starts one step past angle 0 and ends at angle 2*pi, the rightmost point.
        EXPECT_NEAR(static_cast<double>(p.front().x),
                    static_cast<double>(side.cx + 1.45L * std::cos(std::numbers::pi_v<long double> / 100)),
                    1e-15);
        EXPECT_NEAR(static_cast<double>(p.front().y),
                    static_cast<double>(15.0L + 1.45L * std::sin(std::numbers::pi_v<long double> / 100)),
                    1e-15);
        EXPECT_NEAR(static_cast<double>(p.back().x), static_cast<double>(side.cx + 1.45L), 1e-15);
        EXPECT_NEAR(static_cast<double>(p.back().y), 15.0, 1e-15);
        for (std::size_t i = 0; i < p.size(); ++i) {
            const long double rx = p[i].x - side.cx;
            const long double ry = p[i].y - 15.0L;
            ASSERT_NEAR(static_cast<double>(std::hypot(rx, ry)), 1.45, 1e-15) << "point " << i;
            if (i == 0)
                continue;
            // Consecutive points one step apart, turning counter-clockwise.
            const long double qx = p[i - 1].x - side.cx;
            const long double qy = p[i - 1].y - 15.0L;
            ASSERT_NEAR(static_cast<double>(std::hypot(rx - qx, ry - qy)), static_cast<double>(chord), 1e-15)
                << "point " << i;
            ASSERT_GT(qx * ry - qy * rx, 0.0L) << "point " << i;
        }
    }
}

} // namespace
} // namespace potencor::field
