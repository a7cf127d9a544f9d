// The ten bytes of an extended value: the x87 layout, worked out by hand,
// whatever the host's memory holds.
#include "core/extended.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace potencor {
namespace {

using extended::Bytes;

std::string hex(const Bytes& b)
{
    std::string s;
    char buf[4];
    for (const unsigned char c : b) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        s += buf;
    }
    s.pop_back();
    return s;
}

struct ValueRow {
    const char* name;
    long double value;
    Bytes bytes; // significand, low byte first; then sign and exponent, low byte first
    friend void PrintTo(const ValueRow& r, std::ostream* os) { *os << r.name; }
};

constexpr long double kInf = std::numeric_limits<long double>::infinity();

// 12.6 = 1100.1001 1001 ...b: significand C999 9999 9999 9999|1001... rounds
// up to ...9A, exponent 3 + 16383 = 0x4002. 21.425 = 10101.0110 1100 1100
// ...b: significand AB66 6666 6666 6666|0110... rounds down, exponent 0x4003.
const ValueRow kValueRows[] = {
    {"Zero", 0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00}},
    {"MinusZero", -0.0L, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}},
    {"SmallestSubnormal", LDBL_TRUE_MIN, {0x01, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00}},
    {"LargestSubnormal", LDBL_MIN - LDBL_TRUE_MIN, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00}},
    {"SmallestNormal", LDBL_MIN, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00}},
    {"One", 1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
    {"MinusOne", -1.0L, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF}},
    {"TwelvePointSix", 12.6L, {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0xC9, 0x02, 0x40}},
    {"Coordinate", 21.425L, {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0xAB, 0x03, 0x40}},
    {"Largest", LDBL_MAX, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F}},
    {"Infinity", kInf, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
    {"MinusInfinity", -kInf, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}},
};

class ExtendedBytes : public testing::TestWithParam<ValueRow> {};

TEST_P(ExtendedBytes, AreTheX87LayoutAndComeBackExactly)
{
    const ValueRow& r = GetParam();
    EXPECT_EQ(hex(extended::toBytes(r.value)), hex(r.bytes));
    const long double back = extended::fromBytes(r.bytes);
    EXPECT_EQ(back, r.value);
    EXPECT_EQ(std::signbit(back), std::signbit(r.value));
}

INSTANTIATE_TEST_SUITE_P(Table, ExtendedBytes, testing::ValuesIn(kValueRows), test::RowName{});

TEST(Extended, NanStaysNan)
{
    for (const long double nan : {std::numeric_limits<long double>::quiet_NaN(),
                                  -std::numeric_limits<long double>::quiet_NaN(),
                                  std::numeric_limits<long double>::signaling_NaN()}) {
        const Bytes b = extended::toBytes(nan);
        EXPECT_EQ(b[8] | (b[9] & 0x7F) << 8, 0x7FFF) << hex(b);
        EXPECT_NE(b[7] & 0x7F, 0) << hex(b); // a fraction beside the integer bit: not an infinity
        EXPECT_TRUE(std::isnan(extended::fromBytes(b))) << hex(b);
        EXPECT_EQ(std::signbit(extended::fromBytes(b)), std::signbit(nan)) << hex(b);
    }
    // What an x87 refuses as an operand is no number either: a signalling
    // NaN, a pseudo-infinity and a pseudo-NaN (integer bit clear under the
    // top exponent), an unnormal (integer bit clear under any other).
    for (const Bytes& b : {Bytes{0x01, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}, Bytes{0, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0x7F},
                           Bytes{0x01, 0, 0, 0, 0, 0, 0, 0x00, 0xFF, 0xFF}, Bytes{0, 0, 0, 0, 0, 0, 0, 0x40, 0xFF, 0x3F}})
        EXPECT_TRUE(std::isnan(extended::fromBytes(b))) << hex(b);
}

// A pseudo-subnormal (exponent 0, integer bit set) is the normal of exponent 1
// to the x87, so it reads as that value.
TEST(Extended, PseudoSubnormalIsTheSmallestNormals)
{
    EXPECT_EQ(extended::fromBytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x00}), LDBL_MIN);
    EXPECT_EQ(extended::fromBytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x80}), -LDBL_MIN);
}

// Any layout a finite value can have, drawn at random: to a value and back
// to the same ten bytes.
TEST(Extended, EveryFiniteLayoutComesBack)
{
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 200'000; ++i) {
        const std::uint64_t bits = random();
        const unsigned exponent = static_cast<unsigned>(random() % 0x7FFF); // never the top one
        Bytes b{};
        const std::uint64_t significand =
            exponent == 0 ? bits & ~(std::uint64_t{1} << 63) : bits | (std::uint64_t{1} << 63);
        for (int k = 0; k < 8; ++k)
            b[k] = static_cast<unsigned char>(significand >> (8 * k));
        const unsigned top = exponent | ((i & 1) ? 0x8000u : 0u);
        b[8] = static_cast<unsigned char>(top & 0xFF);
        b[9] = static_cast<unsigned char>(top >> 8);
        ASSERT_EQ(hex(extended::toBytes(extended::fromBytes(b))), hex(b));
    }
}

} // namespace
} // namespace potencor
