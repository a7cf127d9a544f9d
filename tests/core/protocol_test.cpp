#include "core/protocol.h"

#include "core/calibration.h"
#include "core/field.h"
#include "tests/core/table.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace potencor::protocol {
namespace {

// ---- The text of one line ----

struct LineRow {
    const char* name;
    std::int32_t count;
    long double X1; // cm
    long double Y1; // cm
    long double phi; // V
    char32_t separator;
    const char* text;
    friend void PrintTo(const LineRow& r, std::ostream* os) { *os << r.name; }
};

const LineRow kLineRows[] = {
    {"First", 0, 21.425L, 15.0L, 6.3L, U'.', "0: x=21.425см y=15.000см phi=6.300 В"},
    {"FirstWithComma", 0, 21.425L, 15.0L, 6.3L, U',', "0: x=21,425см y=15,000см phi=6,300 В"},
    {"Tenth", 9, 10.5L, 7.0L, 1.2345L, U'.', "9: x=10.500см y=7.000см phi=1.235 В"},
    {"Eleventh", 10, 10.5L, 7.0L, 1.2345L, U'.', "10: x=10.500см y=7.000см phi=1.235 В"},
    {"LeftOfPlot", 3, -1.5589916L, 14.978L, 4.2L, U',', "3: x=-1,559см y=14,978см phi=4,200 В"},
    {"InsideLeftElectrode", 4, 9.0L, 15.5L, -0.0000218L, U'.', "4: x=9.000см y=15.500см phi=0.000 В"},
    {"InsideRightElectrode", 5, 33.0L, 15.0L, 12.6000218L, U'.', "5: x=33.000см y=15.000см phi=12.600 В"},
    {"NegativeCount", -1, 0.0L, 0.0L, 4.671924L, U'.', "-1: x=0.000см y=0.000см phi=4.672 В"},
    {"LargestCount", INT32_MAX, 1.0L, 2.0L, 3.0L, U'.', "2147483647: x=1.000см y=2.000см phi=3.000 В"},
};

class LineTable : public testing::TestWithParam<LineRow> {};

TEST_P(LineTable, Text)
{
    const LineRow& r = GetParam();
    EXPECT_EQ(line(r.count, r.X1, r.Y1, r.phi, r.separator), r.text);
}

INSTANTIATE_TEST_SUITE_P(Protocol, LineTable, testing::ValuesIn(kLineRows), test::RowName());

TEST(ProtocolLine, UnitsAreCyrillicLettersInUtf8)
{
    // с U+0441, м U+043C, В U+0412; Latin look-alikes would read the same.
    EXPECT_EQ(line(0, 21.425L, 15.0L, 6.3L, U'.'),
              "0: x=21.425\xD1\x81\xD0\xBC y=15.000\xD1\x81\xD0\xBC phi=6.300 \xD0\x92");
}

TEST(ProtocolLine, OneClicksWorthOfCore)
{
    const calibration::PlaneCm p = calibration::convert(calibration::defaults(), 516, 372, 0, 0, false);
    const long double phi = field::potential(p.X1, p.Y1);
    EXPECT_EQ(line(0, p.X1, p.Y1, phi, U','), "0: x=21,425см y=14,978см phi=6,300 В");
}

} // namespace
} // namespace potencor::protocol
