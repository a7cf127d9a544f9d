#include "core/fixed3.h"

#include "tests/core/table.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace potencor {
namespace {

struct Fixed3Row {
    const char* name;
    long double value;
    const char* text; // with a full stop as separator
    friend void PrintTo(const Fixed3Row& r, std::ostream* os) { *os << r.name; }
};

// Long double literals throughout: the digits depend on the extended value.
const Fixed3Row kFixed3Rows[] = {
    {"HalfRoundsAwayFromZero", 21.4255L, "21.426"},
    {"NegativeHalfRoundsAwayFromZero", -21.4255L, "-21.426"},
    {"PadsDecimals", 6.3L, "6.300"},
    {"Zero", 0.0L, "0.000"},
    {"NegativeZero", -0.0L, "0.000"},
    {"NegativeRoundingToZero", -0.0004L, "0.000"},
    {"NegativeTinyRoundingToZero", -1e-10L, "0.000"},
    {"NegativeHalfOfLastDecimal", -0.0005L, "-0.001"},
    {"HalfOfLastDecimal", 0.0005L, "0.001"},
    {"EighteenDigitsEndInFive", 12.3445L, "12.345"}, // extended value a hair below
    {"FourIntegerDigits", 1234.5678L, "1234.568"},
    {"Tiny", 1e-10L, "0.000"},
    {"CarryIntoNewDigit", 0.9995L, "1.000"},
    {"CarryBelowOne", 0.0999995L, "0.100"},
    {"LeftElectrode", -0.0000218L, "0.000"},
    {"RightElectrode", 12.6000218L, "12.600"},
    {"NegativeCoordinate", -1.5589916L, "-1.559"},
    {"SevenIntegerDigitsCappedAtEight", 1234567.891L, "1234567.900"},
    {"EightIntegerDigits", 12345678.4L, "12345678.000"},
    {"MillionExactly", 1000000.0L, "1000000.000"},
    {"CarryPastEightDigits", 99999999.9996L, "1E008"},
    {"NineIntegerDigits", 123456789.5L, "1.2345679E008"},
    {"NegativeExponentForm", -123456789.5L, "-1.2345679E008"},
    {"PowerOfTen", 1e20L, "1E020"},
    {"FourDigitExponent", 1.5e1234L, "1.5E1234"},
};

class Fixed3Table : public testing::TestWithParam<Fixed3Row> {};

TEST_P(Fixed3Table, FullStop)
{
    EXPECT_EQ(fixed3(GetParam().value, U'.'), GetParam().text);
}

TEST_P(Fixed3Table, Comma)
{
    std::string expected = GetParam().text;
    std::replace(expected.begin(), expected.end(), '.', ',');
    EXPECT_EQ(fixed3(GetParam().value, U','), expected);
}

INSTANTIATE_TEST_SUITE_P(Fixed3, Fixed3Table, testing::ValuesIn(kFixed3Rows), test::RowName());

TEST(Fixed3, NonAsciiSeparatorIsWrittenAsUtf8)
{
    EXPECT_EQ(fixed3(6.3L, U'\u066B'), "6\xD9\xAB" "300");
}

TEST(Fixed3, NeverWritesThousandsSeparators)
{
    for (long double v : {1234.5L, -98765.4321L, 1234567.0L, 12345678.9L}) {
        const std::string text = fixed3(v, U'.');
        EXPECT_EQ(text.find_first_of(", '"), std::string::npos) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 1) << text;
    }
}

} // namespace
} // namespace potencor
