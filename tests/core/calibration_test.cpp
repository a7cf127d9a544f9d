#include "core/calibration.h"

#include "core/error.h"
#include "core/fixed3.h"
#include "tests/core/table.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

namespace potencor::calibration {
namespace {

// Within a few units in the last place of an 80-bit value of `exact`: what
// evaluating in extended precision gives, a hundred times tighter than what
// one rounding to a double anywhere on the way leaves.
testing::AssertionResult extendedNear(long double actual, long double exact)
{
    const long double tolerance = 4 * LDBL_EPSILON * std::fabs(exact);
    if (std::fabs(actual - exact) <= tolerance)
        return testing::AssertionSuccess();
    std::ostringstream os;
    os << std::setprecision(21) << actual << " is not " << exact << " (off by " << std::setprecision(3)
       << actual - exact << ", allowed " << tolerance << ")";
    return testing::AssertionFailure() << os.str();
}

TEST(Calibration, DefaultsAreTheDesignTimeTexts)
{
    const Calibration c = defaults();
    EXPECT_EQ(c.mstartX, -35.0L);
    EXPECT_EQ(c.mstartY, -10.0L);
    EXPECT_EQ(c.Nx, 962);
    EXPECT_EQ(c.Ny, 677);
}

TEST(Calibration, LoadReadsOffsetsWithTheUsersSeparator)
{
    const Calibration c = load("-35,5", "2,25", "1000", "-700", U',');
    EXPECT_EQ(c.mstartX, -35.5L);
    EXPECT_EQ(c.mstartY, 2.25L);
    EXPECT_EQ(c.Nx, 1000);
    EXPECT_EQ(c.Ny, -700);
}

// ---- Conversion ----

struct ConversionRow {
    const char* name;
    std::int32_t dx; // px right of the window's outer left edge
    std::int32_t dy; // px below the window's outer top edge
    bool snapToGrid;
    const char* X1; // fixed3, cm
    const char* Y1; // fixed3, cm
    long double exactX1; // cm: (dx - 35) * 42.85 / 962, or its multiple of 0.5
    long double exactY1; // cm: (710 - dy) * 30 / 677, or its multiple of 0.5
    friend void PrintTo(const ConversionRow& r, std::ostream* os) { *os << r.name; }
};

// The exact quotients, worked out as fractions: 481 * 42.85 / 962 = 42.85 / 2,
// 338 * 30 / 677 = 10140 / 677, -35 * 42.85 / 962 = -1499.75 / 962, and so on.
const ConversionRow kConversionRows[] = {
    {"PlotOrigin", 35, 710, false, "0.000", "0.000", 0.0L, 0.0L},
    {"PlotTopRight", 997, 33, false, "42.850", "30.000", 42.85L, 30.0L},
    {"NearMidpoint", 516, 372, false, "21.425", "14.978", 21.425L, 14.9778434268833087149188L},
    {"LeftOfPlot", 0, 372, false, "-1.559", "14.978", -1.55899168399168399168399L, 14.9778434268833087149188L},
    {"BelowPlot", 516, 800, false, "21.425", "-3.988", 21.425L, -3.98818316100443131462334L},
    {"BeyondRightAndAboveWindow", 2000, -100, false, "87.526", "35.894", 87.5262474012474012474012L,
     35.8936484490398818316100L},
    {"NearMidpointSnapped", 516, 372, true, "21.500", "15.000", 21.5L, 15.0L},
    {"PlotOriginSnapped", 35, 710, true, "0.000", "0.000", 0.0L, 0.0L},
    {"BelowPlotSnapped", 516, 800, true, "21.500", "-4.000", 21.5L, -4.0L},
};

class ConversionTable : public testing::TestWithParam<ConversionRow> {};

TEST_P(ConversionTable, GivesPlaneCoordinates)
{
    const ConversionRow& row = GetParam();
    constexpr std::int32_t left = 120;
    constexpr std::int32_t top = 45;
    const PlaneCm p = convert(defaults(), left + row.dx, top + row.dy, left, top, row.snapToGrid);
    EXPECT_EQ(fixed3(p.X1, U'.'), row.X1);
    EXPECT_EQ(fixed3(p.Y1, U'.'), row.Y1);
    EXPECT_TRUE(extendedNear(p.X1, row.exactX1));
    EXPECT_TRUE(extendedNear(p.Y1, row.exactY1));
}

INSTANTIATE_TEST_SUITE_P(Calibration, ConversionTable, testing::ValuesIn(kConversionRows),
                         test::RowName());

// On a scaled display the cursor lies a fraction of a logical px from the
// window's edge; the fraction must reach the plane coordinates, and a whole
// distance must give what the same cursor read as screen positions gives.
TEST(Conversion, FractionalDistanceKeepsItsFraction)
{
    const Calibration c = defaults();
    // 516 and 372 px from the corner: 481 * 42.85 / 962 and 338 * 30 / 677.
    EXPECT_TRUE(extendedNear(toX1(c, 516.0L), 21.425L));
    EXPECT_TRUE(extendedNear(toX1(c, 636, 120), 21.425L));
    EXPECT_TRUE(extendedNear(toY1(c, 372.0L), 14.9778434268833087149188L));
    EXPECT_TRUE(extendedNear(toY1(c, 417, 45), 14.9778434268833087149188L));
    // Device px 1 right of and above the plot's corner at 125 %: 0.8 logical
    // px, 0.8 * 42.85 / 962 and 0.8 * 30 / 677 cm.
    EXPECT_NEAR(static_cast<double>(toX1(c, 35.8L)), 0.0356340956340956341, 1e-15);
    EXPECT_NEAR(static_cast<double>(toY1(c, 709.2L)), 0.0354505169867060561, 1e-15);
    // The grid lines x = 4 cm and y = 4 cm lie between whole px:
    // 35 + 4 * 962 / 42.85 and 710 - 4 * 677 / 30 px from the corner.
    EXPECT_NEAR(static_cast<double>(toX1(c, 124.801633605600933488915L)), 4.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(toY1(c, 619.733333333333333333333L)), 4.0, 1e-12);
}

// The inverse, which finds the whole pixel nearest to a point (the checker's
// reachable coordinates, the tests' clicks) and places the chart's plot.
TEST(Conversion, InverseGivesTheDistanceThatMeasuresAPoint)
{
    const Calibration c = defaults();
    EXPECT_EQ(toDxPx(c, 0.0L), 35.0L);
    EXPECT_EQ(toDyPx(c, 0.0L), 710.0L);
    // 35 + 481 and 710 - 15 * 677 / 30.
    EXPECT_TRUE(extendedNear(toDxPx(c, 21.425L), 516.0L));
    EXPECT_TRUE(extendedNear(toDyPx(c, 15.0L), 371.5L));
    // The grid lines of the fractional case above, and left of and below the plot.
    EXPECT_TRUE(extendedNear(toDxPx(c, 4.0L), 124.801633605600933488915L));
    EXPECT_TRUE(extendedNear(toDyPx(c, 4.0L), 619.733333333333333333333L));
    EXPECT_TRUE(extendedNear(toDxPx(c, -1.2L), 8.0595099183197199533L)); // 35 - 1.2 * 962 / 42.85
    EXPECT_TRUE(extendedNear(toDyPx(c, -2.0L), 755.133333333333333333L)); // 710 + 2 * 677 / 30
    // A coordinate typed by hand may lie beyond any screen: an infinity, not an error.
    EXPECT_TRUE(std::isinf(toDxPx(c, LDBL_MAX)));
    EXPECT_TRUE(std::isinf(toDyPx(c, -LDBL_MAX)));
}

TEST(Conversion, PlotOriginIsExactlyZero)
{
    const PlaneCm p = convert(defaults(), 35, 710, 0, 0, false);
    EXPECT_EQ(p.X1, 0.0L);
    EXPECT_EQ(p.Y1, 0.0L);
}

TEST(Conversion, MovingTheWindowChangesNothing)
{
    const Calibration c = defaults();
    const PlaneCm home = convert(c, 516, 372, 0, 0, false);
    // Including a window on a monitor left of and above the primary one.
    for (const auto& [left, top] : {std::pair{300, 200}, {-1920, -1080}, {5000, 40}, {-7, 0}}) {
        const PlaneCm moved = convert(c, left + 516, top + 372, left, top, false);
        EXPECT_EQ(moved.X1, home.X1) << "window at " << left << "," << top;
        EXPECT_EQ(moved.Y1, home.Y1) << "window at " << left << "," << top;
    }
}

// ---- Snapping to the 0.5 cm grid ----

struct SnapRow {
    const char* name;
    long double cm;
    long double snapped;
    friend void PrintTo(const SnapRow& r, std::ostream* os) { *os << r.name; }
};

const SnapRow kSnapRows[] = {
    {"RoundsUp", 10.26L, 10.5L},
    {"RoundsDown", 10.24L, 10.0L},
    {"OnGrid", 10.5L, 10.5L},
    {"QuarterTiesToEvenZero", 0.25L, 0.0L},
    {"ThreeQuartersTiesToEvenTwo", 0.75L, 1.0L},
    {"OneAndAQuarterTiesToEvenTwo", 1.25L, 1.0L},
    {"OneAndThreeQuartersTiesToEvenFour", 1.75L, 2.0L},
    {"NegativeTieToEven", -0.75L, -1.0L},
    {"NegativeQuarterToZero", -0.25L, 0.0L},
    {"Negative", -3.988L, -4.0L},
    {"Zero", 0.0L, 0.0L},
    {"LowestInRange", -4611686018427387904.0L, -4611686018427387904.0L}, // quotient -2^63
};

class SnapTable : public testing::TestWithParam<SnapRow> {};

TEST_P(SnapTable, GoesToNearestHalfCentimetre)
{
    EXPECT_EQ(snap(GetParam().cm), GetParam().snapped);
}

INSTANTIATE_TEST_SUITE_P(Calibration, SnapTable, testing::ValuesIn(kSnapRows), test::RowName());

// ---- Parsing the calibration fields ----

struct FloatRow {
    const char* name;
    const char* text;
    char32_t separator;
    long double value;
    friend void PrintTo(const FloatRow& r, std::ostream* os) { *os << r.name; }
};

const FloatRow kFloatRows[] = {
    {"Integer", "-35", U'.', -35.0L},
    {"FullStop", "42.85", U'.', 42.85L},
    {"Comma", "42,85", U',', 42.85L},
    {"ExtendedNotDouble", "0.1", U'.', 0.1L},
    {"PlusSign", "+7", U'.', 7.0L},
    {"NoIntegerDigits", ".5", U'.', 0.5L},
    {"NoFractionDigits", "5.", U'.', 5.0L},
    {"Exponent", "1e3", U'.', 1000.0L},
    {"SignedUpperCaseExponent", "2,5E-2", U',', 0.025L},
    {"SurroundingSpaces", "  -10  ", U'.', -10.0L},
    {"MultiByteSeparator", "1\xD9\xAB" "5", U'\u066B', 1.5L},
    {"NearExtendedMaximum", "1e4930", U'.', 1e4930L},
    {"UnderflowToDenormal", "1e-4940", U'.', 1e-4940L},
    {"UnderflowToZero", "-1e-5000", U'.', 0.0L},
};

class ParseFloatTable : public testing::TestWithParam<FloatRow> {};

TEST_P(ParseFloatTable, ReadsValue)
{
    EXPECT_EQ(parseFloat(GetParam().text, GetParam().separator), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Calibration, ParseFloatTable, testing::ValuesIn(kFloatRows),
                         test::RowName());

struct BadFloatRow {
    const char* name;
    const char* text;
    char32_t separator;
    friend void PrintTo(const BadFloatRow& r, std::ostream* os) { *os << r.name; }
};

const BadFloatRow kBadFloatRows[] = {
    {"Empty", "", U'.'},
    {"Blank", "   ", U'.'},
    {"Letters", "abc", U'.'},
    {"FullStopWhereCommaIsSet", "1.5", U','},
    {"CommaWhereFullStopIsSet", "1,5", U'.'},
    {"ThousandsSeparator", "1,000.5", U'.'},
    {"TwoSeparators", "1.2.3", U'.'},
    {"SeparatorOnly", ".", U'.'},
    {"SignOnly", "-", U'.'},
    {"DoubleSign", "--1", U'.'},
    {"ExponentWithoutDigits", "1e", U'.'},
    {"ExponentSignWithoutDigits", "1e+", U'.'},
    {"InnerSpace", "1 2", U'.'},
    {"Hexadecimal", "0x10", U'.'},
    {"Infinity", "inf", U'.'},
    {"NotANumber", "nan", U'.'},
    {"TrailingGarbage", "12px", U'.'},
    {"Overflow", "1e5000", U'.'},
};

class BadFloatTable : public testing::TestWithParam<BadFloatRow> {};

TEST_P(BadFloatTable, IsRejectedWithTheTextInTheMessage)
{
    const BadFloatRow& row = GetParam();
    try {
        parseFloat(row.text, row.separator);
        FAIL() << "parsed";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "'" + std::string(row.text) + "' is not a valid floating point value");
    }
}

INSTANTIATE_TEST_SUITE_P(Calibration, BadFloatTable, testing::ValuesIn(kBadFloatRows),
                         test::RowName());

struct IntRow {
    const char* name;
    const char* text;
    std::int32_t value;
    friend void PrintTo(const IntRow& r, std::ostream* os) { *os << r.name; }
};

const IntRow kIntRows[] = {
    {"Default", "962", 962},
    {"Negative", "-700", -700},
    {"PlusSign", "+5", 5},
    {"LeadingZeros", "007", 7},
    {"Minimum", "-2147483648", INT32_MIN},
    {"Maximum", "2147483647", INT32_MAX},
};

class ParseIntTable : public testing::TestWithParam<IntRow> {};

TEST_P(ParseIntTable, ReadsValue)
{
    EXPECT_EQ(parseInt32(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Calibration, ParseIntTable, testing::ValuesIn(kIntRows), test::RowName());

struct BadIntRow {
    const char* name;
    const char* text;
    friend void PrintTo(const BadIntRow& r, std::ostream* os) { *os << r.name; }
};

const BadIntRow kBadIntRows[] = {
    {"Empty", ""},
    {"SignOnly", "-"},
    {"PlusOnly", "+"},
    {"Fraction", "962.0"},
    {"Exponent", "1e3"},
    {"Letters", "abc"},
    {"TrailingGarbage", "96x"},
    {"DoubleSign", "--1"},
    {"JustAboveMaximum", "2147483648"},
    {"JustBelowMinimum", "-2147483649"},
    {"FarOutOfRange", "99999999999999999999"},
};

class BadIntTable : public testing::TestWithParam<BadIntRow> {};

TEST_P(BadIntTable, IsRejectedWithTheTextInTheMessage)
{
    const BadIntRow& row = GetParam();
    try {
        parseInt32(row.text);
        FAIL() << "parsed";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "'" + std::string(row.text) + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(Calibration, BadIntTable, testing::ValuesIn(kBadIntRows), test::RowName());

// ---- Where the chart draws what the conversion measures ----

// With the defaults a click at chart px (cx, cy) is cx + 8, cy + 32 px from the
// window's outer corner, so x = 0 is drawn at 27 and y = 0 at 678, and the
// scale is 962 px per 42.85 cm and 677 px per 30 cm.
TEST(ChartMapping, DefaultsPutThePlotWhereClicksMeasureIt)
{
    const ChartMapping m = chartMapping(defaults());
    EXPECT_EQ(m.x0Px, 27.0);
    EXPECT_EQ(m.y0Px, 678.0);
    EXPECT_NEAR(m.pxPerCmX, 22.4504084014002333722, 1e-12);
    EXPECT_NEAR(m.pxPerCmY, 22.5666666666666666667, 1e-12);
    struct Landmark {
        double xCm, yCm;
        double cx, cy; // chart px
    };
    const Landmark landmarks[] = {
        {0, 0, 27, 678},
        {42.85, 30, 989, 1},
        {21.425, 15, 508, 339.5}, // 27 + 481, 678 - 15 * 677 / 30
        {-1.2, -2, 0.0595099183197199533, 723.133333333333333}, // 27 - 1.2 * 962 / 42.85, 678 + 2 * 677 / 30
    };
    for (const Landmark& l : landmarks) {
        EXPECT_NEAR(m.toPxX(l.xCm), l.cx, 1e-9) << l.xCm;
        EXPECT_NEAR(m.toPxY(l.yCm), l.cy, 1e-9) << l.yCm;
    }
}

struct MappingRow {
    const char* name;
    Calibration cal;
    friend void PrintTo(const MappingRow& r, std::ostream* os) { *os << r.name; }
};

const MappingRow kMappingRows[] = {
    {"Defaults", {-35.0L, -10.0L, 962, 677}},
    {"OtherFrame", {-40.5L, 3.0L, 1000, 700}},
};

class ChartMappingRoundTrip : public testing::TestWithParam<MappingRow> {};

TEST_P(ChartMappingRoundTrip, ChartPixelToCmAndBack)
{
    const Calibration& c = GetParam().cal;
    const ChartMapping m = chartMapping(c);
    constexpr std::int32_t left = 250;
    constexpr std::int32_t top = -60;
    for (const auto& [cx, cy] : {std::pair{27, 678}, {989, 1}, {500, 300}, {0, 0}, {-10, 750}, {1000, 700}}) {
        // A cursor at chart pixel (cx, cy) is one window frame further from
        // the window's outer corner.
        const long double X1 = toX1(c, left + kFrameLeftPx + cx, left);
        const long double Y1 = toY1(c, top + kFrameTopPx + cy, top);
        EXPECT_NEAR(m.toPxX(static_cast<double>(X1)), cx, 1e-9) << "chart px " << cx << "," << cy;
        EXPECT_NEAR(m.toPxY(static_cast<double>(Y1)), cy, 1e-9) << "chart px " << cx << "," << cy;
        // The inverse conversion finds the cursor's distance again.
        EXPECT_NEAR(static_cast<double>(toDxPx(c, X1)), kFrameLeftPx + cx, 1e-9) << "chart px " << cx;
        EXPECT_NEAR(static_cast<double>(toDyPx(c, Y1)), kFrameTopPx + cy, 1e-9) << "chart px " << cy;
    }
}

INSTANTIATE_TEST_SUITE_P(Calibration, ChartMappingRoundTrip, testing::ValuesIn(kMappingRows),
                         test::RowName());

} // namespace
} // namespace potencor::calibration
