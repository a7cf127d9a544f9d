#include "core/protocol_parse.h"

#include "core/protocol.h"
#include "tests/core/table.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>

namespace potencor::protocol {
namespace {

// ---- Every line the program writes reads back as written ----

struct RoundTripRow {
    const char* name;
    std::int32_t count;
    long double X1; // cm
    long double Y1; // cm
    long double phi; // V
    friend void PrintTo(const RoundTripRow& r, std::ostream* os) { *os << r.name; }
};

const RoundTripRow kRoundTripRows[] = {
    {"Midpoint", 0, 21.425L, 15.0L, 6.3L},
    {"LeftOfPlot", 3, -1.5589916L, 14.978L, 4.2L},
    {"BelowPlot", 7, 4.5L, -0.0004L, 4.6L},           // rounds to 0.000 without a minus
    {"NegativeHalfThousandth", 8, -0.0005L, -12.5L, 4.6L},
    {"LeftElectrodeInterior", 4, 9.0L, 15.5L, -0.0000218L},
    {"RightElectrodeInterior", 5, 33.0L, 15.0L, 12.6000218L},
    {"NegativeCount", -1, 0.0L, 0.0L, 4.671924L},
    {"LargestCount", INT32_MAX, 1.0L, 2.0L, 3.0L},
    {"SmallestCount", INT32_MIN, 1.0L, 2.0L, 3.0L},
    {"EightIntegerDigits", 1, 12345678.4L, -98765432.1L, 6.3L},
    {"CappedDigitsPrintAsZeros", 1, 1234567.891L, 0.5L, 6.3L},
    {"ExponentForm", 2, 123456789.5L, -1e300L, 6.3L},
    {"ExponentFormNoFraction", 2, 1e8L * 10, 1e9L, 6.3L},
    {"LargestValues", 3, std::numeric_limits<long double>::max(), -std::numeric_limits<long double>::max(), 6.3L},
    {"CursorFarOffScreen", 9, 2147483647.0L * 42.85L / 962, -2147483648.0L * 30 / 677, 6.3L},
};

class RoundTripTable : public testing::TestWithParam<RoundTripRow> {};

TEST_P(RoundTripTable, BothSeparators)
{
    const RoundTripRow& r = GetParam();
    for (const char32_t sep : {U'.', U','}) {
        const std::string text = line(r.count, r.X1, r.Y1, r.phi, sep);
        SCOPED_TRACE(text);
        const auto p = parseLine(text);
        ASSERT_TRUE(p.has_value());
        EXPECT_EQ(p->number, r.count);
        EXPECT_EQ(line(p->number, p->X1_cm, p->Y1_cm, p->phi_V, sep), text);
        EXPECT_EQ(text, std::to_string(r.count) + ": x=" + p->x + "см y=" + p->y + "см phi=" + p->phi + " В");
        EXPECT_EQ(p->separator, sep);
        EXPECT_TRUE(p->exact);
    }
}

INSTANTIATE_TEST_SUITE_P(ProtocolParse, RoundTripTable, testing::ValuesIn(kRoundTripRows),
                         test::RowName());

TEST(ProtocolParse, RandomLinesRoundTrip)
{
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> coord(-60.0, 60.0);
    std::uniform_int_distribution<std::int32_t> count(-5, 100000);
    for (int i = 0; i < 20000; ++i) {
        const long double x = coord(rng), y = coord(rng), phi = coord(rng) / 4;
        const char32_t sep = (i & 1) ? U',' : U'.';
        const std::string text = line(count(rng), x, y, phi, sep);
        const auto p = parseLine(text);
        ASSERT_TRUE(p.has_value()) << text;
        ASSERT_EQ(line(p->number, p->X1_cm, p->Y1_cm, p->phi_V, sep), text);
    }
}

TEST(ProtocolParse, ValueIsTheNearestExtendedToTheText)
{
    const auto p = parseLine("12: x=21.425см y=-0.001см phi=12.345 В");
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->X1_cm, 21.425L);
    EXPECT_EQ(p->Y1_cm, -0.001L);
    EXPECT_EQ(p->phi_V, 12.345L);
    EXPECT_EQ(p->x, "21.425");
    EXPECT_EQ(p->y, "-0.001");
}

TEST(ProtocolParse, UnitsReplacedByAnEightBitEncoding)
{
    const auto p = parseLine("3: x=1,500?? y=2,000?? phi=3,725 ?");
    ASSERT_TRUE(p.has_value());
    EXPECT_FALSE(p->exact);
    EXPECT_EQ(p->number, 3);
    EXPECT_EQ(p->phi, "3,725");
    EXPECT_EQ(p->separator, U',');
}

// ---- What the program cannot have written ----

struct RejectRow {
    const char* name;
    const char* text;
    friend void PrintTo(const RejectRow& r, std::ostream* os) { *os << r.name; }
};

const RejectRow kRejectRows[] = {
    {"Empty", ""},
    {"FreeText", "Измерения провёл Иванов"},
    {"FreeTextStartingWithNumber", "12: x= see above"},
    {"SpaceBeforeNumber", " 0: x=21.425см y=15.000см phi=6.300 В"},
    {"ExtraSpace", "0: x=21.425см  y=15.000см phi=6.300 В"},
    {"NoSpaceBeforeVolt", "0: x=21.425см y=15.000см phi=6.300В"},
    {"TrailingSpace", "0: x=21.425см y=15.000см phi=6.300 В "},
    {"TrailingJunk", "0: x=21.425см y=15.000см phi=6.300 Вx"},
    {"MissingPotential", "0: x=21.425см y=15.000см"},
    {"MissingNumber", ": x=21.425см y=15.000см phi=6.300 В"},
    {"MixedSeparators", "0: x=21.425см y=15,000см phi=6.300 В"},
    {"OtherSeparator", "0: x=21;425см y=15;000см phi=6;300 В"},
    {"TwoDecimals", "0: x=21.42см y=15.000см phi=6.300 В"},
    {"FourDecimals", "0: x=21.4250см y=15.000см phi=6.300 В"},
    {"NoIntegerDigit", "0: x=.425см y=15.000см phi=6.300 В"},
    {"LeadingZero", "0: x=021.425см y=15.000см phi=6.300 В"},
    {"PlusSign", "0: x=+21.425см y=15.000см phi=6.300 В"},
    {"MinusOnRoundedZero", "0: x=-0.000см y=15.000см phi=6.300 В"},
    {"NinthSignificantDigit", "0: x=1234567.891см y=15.000см phi=6.300 В"},
    {"NineIntegerDigitsInFixedForm", "0: x=123456789.000см y=15.000см phi=6.300 В"},
    {"ExponentBelowNineDigits", "0: x=1.5E003см y=15.000см phi=6.300 В"},
    {"ExponentWithPlus", "0: x=1.5E+008см y=15.000см phi=6.300 В"},
    {"ExponentTwoDigits", "0: x=1.5E08см y=15.000см phi=6.300 В"},
    {"ExponentTrailingZero", "0: x=1.50E008см y=15.000см phi=6.300 В"},
    {"ExponentBeyondRange", "0: x=1.23594E76008см y=15.000см phi=6.300 В"},
    {"ExponentJustBeyondRange", "0: x=1.1897316E4932см y=15.000см phi=6.300 В"},
    {"LowerCaseExponent", "0: x=1.5e008см y=15.000см phi=6.300 В"},
    {"NumberLeadingZero", "01: x=21.425см y=15.000см phi=6.300 В"},
    {"NumberMinusZero", "-0: x=21.425см y=15.000см phi=6.300 В"},
    {"NumberBeyondInt32", "2147483648: x=21.425см y=15.000см phi=6.300 В"},
    {"LatinLookAlikeUnits", "0: x=21.425cм y=15.000см phi=6.300 В"},
    {"LatinVolt", "0: x=21.425см y=15.000см phi=6.300 B"},
    {"UnitsHalfReplaced", "0: x=21.425?? y=15.000см phi=6.300 В"},
    {"VoltReplacedUnitsNot", "0: x=21.425см y=15.000см phi=6.300 ?"},
    {"SingleQuestionMark", "0: x=21.425? y=15.000? phi=6.300 ?"},
    {"LineEndInside", "0: x=21.425см\r\ny=15.000см phi=6.300 В"},
    {"TruncatedInsideUnit", "0: x=21.425см y=15.000см phi=6.300 \xD0"},
};

class RejectTable : public testing::TestWithParam<RejectRow> {};

TEST_P(RejectTable, NotAMeasurementLine)
{
    EXPECT_FALSE(parseLine(GetParam().text).has_value());
}

INSTANTIATE_TEST_SUITE_P(ProtocolParse, RejectTable, testing::ValuesIn(kRejectRows), test::RowName());

TEST(ProtocolParse, EveryPrefixOfALineIsRejected)
{
    const std::string text = line(12, -1.5L, 14.978L, 4.2L, U',');
    for (std::size_t n = 0; n < text.size(); ++n)
        EXPECT_FALSE(parseLine(std::string_view(text).substr(0, n)).has_value()) << n;
}

// ---- Lines ----

struct SplitRow {
    const char* name;
    std::string_view text;
    std::vector<std::string_view> lines;
    friend void PrintTo(const SplitRow& r, std::ostream* os) { *os << r.name; }
};

const SplitRow kSplitRows[] = {
    {"Empty", "", {}},
    {"OneLineWithEnd", "a\r\n", {"a"}},
    {"OneLineWithoutEnd", "a", {"a"}},
    {"CrLf", "a\r\nb\r\n", {"a", "b"}},
    {"LoneLf", "a\nb\n", {"a", "b"}},
    {"LoneCr", "a\rb", {"a", "b"}},
    {"LfCrIsTwoEnds", "a\n\rb", {"a", "", "b"}},
    {"EmptyLinesKept", "\r\n\r\nb", {"", "", "b"}},
    {"OnlyALineEnd", "\r\n", {""}},
    {"MixedEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
};

class SplitTable : public testing::TestWithParam<SplitRow> {};

TEST_P(SplitTable, Lines)
{
    EXPECT_EQ(splitLines(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(ProtocolParse, SplitTable, testing::ValuesIn(kSplitRows), test::RowName());

} // namespace
} // namespace potencor::protocol
