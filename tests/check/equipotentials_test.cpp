// The equipotential lines the checker draws: on their level by the model,
// whole, and where the two electrodes put them.
#include "check/equipotentials.h"
#include "core/field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace potencor::check {
namespace {

const std::vector<Equipotential>& lines()
{
    static const std::vector<Equipotential> l = equipotentials();
    return l;
}

bool onEdge(const PlanePoint& p)
{
    constexpr double eps = 1e-9;
    return std::fabs(p.x_cm) < eps || std::fabs(p.y_cm) < eps || std::fabs(p.x_cm - 42.83) < eps
           || std::fabs(p.y_cm - 30.0) < eps;
}

// Whether the closed polyline winds around the point (even-odd rule).
bool encloses(const std::vector<PlanePoint>& loop, double x, double y)
{
    bool inside = false;
    for (std::size_t i = 0, j = loop.size() - 1; i < loop.size(); j = i++) {
        const PlanePoint &a = loop[i], &b = loop[j];
        if ((a.y_cm > y) != (b.y_cm > y) && x < (b.x_cm - a.x_cm) * (y - a.y_cm) / (b.y_cm - a.y_cm) + a.x_cm)
            inside = !inside;
    }
    return inside;
}

TEST(Equipotentials, EveryVoltBetweenTheElectrodes)
{
    std::set<double> levels;
    for (const Equipotential& e : lines())
        levels.insert(e.volts);
    EXPECT_EQ(levels, (std::set<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(Equipotentials, EveryPointIsOnItsLevel)
{
    double worst = 0;
    std::size_t points = 0;
    for (const Equipotential& e : lines()) {
        for (const PlanePoint& p : e.points) {
            worst = std::max(worst, std::fabs(static_cast<double>(field::potential(p.x_cm, p.y_cm)) - e.volts));
            ++points;
        }
    }
    // Linear interpolation across 0.1 cm cells: a line lies well within a
    // screen pixel (0.045 cm) of its level, where a pixel spans up to 0.06 V.
    EXPECT_LT(worst, 0.01) << "over " << points << " points";
}

TEST(Equipotentials, LinesAreWholeAndThin)
{
    std::size_t points = 0;
    for (const Equipotential& e : lines()) {
        ASSERT_GE(e.points.size(), 2u);
        points += e.points.size();
        const PlanePoint &first = e.points.front(), &last = e.points.back();
        if (e.closed) {
            EXPECT_EQ(first.x_cm, last.x_cm);
            EXPECT_EQ(first.y_cm, last.y_cm);
        } else {
            // A piece of a line ends only where the plot does.
            EXPECT_TRUE(onEdge(first) && onEdge(last)) << e.volts << " V: (" << first.x_cm << ", " << first.y_cm
                                                       << ") to (" << last.x_cm << ", " << last.y_cm << ")";
        }
        for (const PlanePoint& p : e.points) {
            EXPECT_GE(p.x_cm, 0);
            EXPECT_LE(p.x_cm, 42.83);
            EXPECT_GE(p.y_cm, 0);
            EXPECT_LE(p.y_cm, 30);
        }
    }
    // Thinned: a few thousand points for twelve levels, not the tens of
    // thousands of crossings of the grid.
    EXPECT_LT(points, 5000u);
}

// The left electrode is at 0 V, the right at 12.6 V, and the model is
// symmetric about the midline x = 21.425 cm, where it gives 6.3 V.
TEST(Equipotentials, LowLevelsLeftHighLevelsRight)
{
    for (const Equipotential& e : lines()) {
        for (const PlanePoint& p : e.points) {
            if (e.volts < 6.3)
                EXPECT_LT(p.x_cm, 21.425) << e.volts;
            else
                EXPECT_GT(p.x_cm, 21.425) << e.volts;
        }
    }
}

TEST(Equipotentials, NearestLevelsAreLoopsAroundTheirElectrode)
{
    for (const auto& [volts, centreX] : {std::pair{1.0, 9.35}, std::pair{12.0, 33.5}}) {
        std::size_t count = 0;
        for (const Equipotential& e : lines()) {
            if (e.volts != volts)
                continue;
            ++count;
            EXPECT_TRUE(e.closed) << volts;
            EXPECT_TRUE(encloses(e.points, centreX, 15.0)) << volts;
            for (const PlanePoint& p : e.points)
                EXPECT_GT(std::hypot(p.x_cm - centreX, p.y_cm - 15.0), 1.45) << volts << " V inside the electrode";
        }
        EXPECT_EQ(count, 1u) << volts;
    }
}

TEST(Equipotentials, OneLabelPerLevelWithRoomInThePlot)
{
    const std::vector<LevelLabel> labels = levelLabels(lines());
    ASSERT_EQ(labels.size(), 12u);
    EXPECT_EQ(labels.front().text, "1 V");
    EXPECT_EQ(labels.back().text, "12 V");
    for (const LevelLabel& l : labels) {
        EXPECT_LE(l.at.y_cm, 28.5) << l.text;
        EXPECT_GE(l.at.x_cm, 0.5) << l.text;
        EXPECT_LE(l.at.x_cm, 41.33) << l.text;
    }
}

} // namespace
} // namespace potencor::check
