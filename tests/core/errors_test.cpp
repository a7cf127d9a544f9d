// Every error the core raises, with the exact text the error report shows.
#include "core/calibration.h"
#include "core/error.h"
#include "core/field.h"
#include "core/fpcheck.h"
#include "tests/core/table.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>
#include <string>

namespace potencor {
namespace {

using calibration::Calibration;

constexpr Calibration kDefaults{-35.0L, -10.0L, 962, 677};

Calibration with(void (*change)(Calibration&))
{
    Calibration c = kDefaults;
    change(c);
    return c;
}

// The message of the potencor::Error the action raises, or a marker.
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    } catch (...) {
        return "<other exception>";
    }
    return "<no error>";
}

struct ErrorRow {
    const char* name;
    std::function<void()> action;
    const char* message;
    friend void PrintTo(const ErrorRow& r, std::ostream* os) { *os << r.name; }
};

const ErrorRow kErrorRows[] = {
    // Nx = 0 or Ny = 0: the conversion divides by it.
    {"NxZero", [] { calibration::toX1(with([](Calibration& c) { c.Nx = 0; }), 36, 0); },
     "Floating point division by zero"},
    {"NxZeroAtPlotLeftEdge", [] { calibration::toX1(with([](Calibration& c) { c.Nx = 0; }), 35, 0); },
     "Invalid floating point operation"},
    {"NyZero", [] { calibration::toY1(with([](Calibration& c) { c.Ny = 0; }), 100, 0); },
     "Floating point division by zero"},
    {"NyZeroAtPlotBottomEdge", [] { calibration::toY1(with([](Calibration& c) { c.Ny = 0; }), 710, 0); },
     "Invalid floating point operation"},
    {"NyZeroOnClick",
     [] { calibration::convert(with([](Calibration& c) { c.Ny = 0; }), 500, 300, 0, 0, true); },
     "Floating point division by zero"},
    // Snapping rounds X1 / 0.5 to a 64-bit integer.
    {"SnapFarOutOfRange", [] { calibration::snap(1e30L); }, "Invalid floating point operation"},
    {"SnapQuotientIsTwoToThe63", [] { calibration::snap(4611686018427387904.0L); },
     "Invalid floating point operation"},
    {"SnapQuotientRoundsUpToTwoToThe63", [] { calibration::snap(4611686018427387903.75L); },
     "Invalid floating point operation"}, // quotient 2^63 - 0.5, a tie going to even 2^63
    {"SnapOnClickWithHugeOffset",
     [] { calibration::convert(with([](Calibration& c) { c.mstartX = 1e30L; }), 500, 300, 0, 0, true); },
     "Invalid floating point operation"},
    // Results beyond extended range.
    {"OffsetTimesSpanOverflows",
     [] { calibration::toX1(with([](Calibration& c) { c.mstartX = 1e4931L; }), 0, 0); },
     "Floating point overflow"},
    {"VerticalOffsetTimesSpanOverflows",
     [] { calibration::toY1(with([](Calibration& c) { c.mstartY = -1e4931L; }), 0, 0); },
     "Floating point overflow"},
    {"PotentialFarOutside", [] { field::potential(1e3000L, 15.0L); }, "Floating point overflow"},
    {"PotentialFarAbove", [] { field::potential(20.0L, -1e3000L); }, "Floating point overflow"},
    {"PotentialOfInfinity",
     [] { field::potential(std::numeric_limits<long double>::infinity(), 0.0L); },
     "Floating point overflow"},
    {"PotentialOfNaN", [] { field::potential(0.0L, std::numeric_limits<long double>::quiet_NaN()); },
     "Invalid floating point operation"},
    // 32-bit integer arithmetic.
    {"CursorMinusWindowLeft",
     [] { calibration::toX1(kDefaults, std::numeric_limits<std::int32_t>::min(), 1); }, "Integer overflow"},
    {"CursorMinusWindowTop",
     [] { calibration::toY1(kDefaults, std::numeric_limits<std::int32_t>::max(), -1); }, "Integer overflow"},
    {"CountIncrement", [] { fp::addChecked(std::numeric_limits<std::int32_t>::max(), 1); },
     "Integer overflow"},
    // The checked operations the rest of the program uses.
    {"LogarithmOfZero", [] { fp::ln(0.0L); }, "Floating point division by zero"},
    {"LogarithmOfNegative", [] { fp::ln(-1.0L); }, "Invalid floating point operation"},
    {"SquareRootOfNegative", [] { fp::sqrt(-1e-300L); }, "Invalid floating point operation"},
    {"ZeroByZero", [] { fp::div(0.0L, 0.0L); }, "Invalid floating point operation"},
    {"NegativeByZero", [] { fp::div(-2.0L, 0.0L); }, "Floating point division by zero"},
    {"ProductOverflows", [] { fp::mul(1e4000L, 1e4000L); }, "Floating point overflow"},
    // Calibration texts.
    {"OffsetText", [] { calibration::load("-35", "-1O", "962", "677", U'.'); },
     "'-1O' is not a valid floating point value"},
    {"OffsetWithOtherSeparator", [] { calibration::load("-35.5", "-10", "962", "677", U','); },
     "'-35.5' is not a valid floating point value"},
    {"PixelCountText", [] { calibration::load("-35", "-10", "96x", "677", U'.'); },
     "'96x' is not a valid integer value"},
    {"PixelCountOutOfRange", [] { calibration::load("-35", "-10", "962", "4294967296", U'.'); },
     "'4294967296' is not a valid integer value"},
};

class ErrorTable : public testing::TestWithParam<ErrorRow> {};

TEST_P(ErrorTable, RaisesExactMessage)
{
    EXPECT_EQ(messageOf(GetParam().action), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Errors, ErrorTable, testing::ValuesIn(kErrorRows), test::RowName());

// The edges of those errors: just inside, nothing is raised.
TEST(Errors, NothingJustInsideTheLimits)
{
    EXPECT_EQ(calibration::snap(-4611686018427387904.0L), -4611686018427387904.0L); // quotient -2^63
    EXPECT_EQ(calibration::snap(4611686018427387903.5L), 4611686018427387903.5L); // 2^63 - 1
    EXPECT_NO_THROW(calibration::toX1(kDefaults, std::numeric_limits<std::int32_t>::min(), 0));
    EXPECT_NO_THROW(calibration::toY1(kDefaults, std::numeric_limits<std::int32_t>::max(), 0));
    EXPECT_NO_THROW(calibration::toX1(with([](Calibration& c) { c.mstartX = 1e4929L; }), 0, 0));
    // Unsnapped, a huge offset is just a far-away coordinate.
    EXPECT_NO_THROW(calibration::convert(with([](Calibration& c) { c.mstartX = 1e30L; }), 0, 0, 0, 0, false));
    EXPECT_NO_THROW(field::potential(1e2000L, -1e2000L));
    EXPECT_LT(fp::ln(1e-4940L), 0.0L); // a denormal is a number like any other
}

struct MessageRow {
    const char* name;
    std::string actual;
    const char* expected;
    friend void PrintTo(const MessageRow& r, std::ostream* os) { *os << r.name; }
};

const MessageRow kMessageRows[] = {
    {"NotAFloat", msg::notAFloat("1,5"), "'1,5' is not a valid floating point value"},
    {"NotAnInteger", msg::notAnInteger(""), "'' is not a valid integer value"},
    {"CannotCreateFile", msg::cannotCreateFile("/home/user/prot ocol.txt", "Permission denied"),
     "Cannot create file \"/home/user/prot ocol.txt\". Permission denied"},
    {"CannotOpenClipboard", msg::cannotOpenClipboard("Access is denied"),
     "Cannot open clipboard: Access is denied"},
    {"SeriesDeletePastEnd", msg::seriesDeleteOutOfBounds(3, 2),
     "Series Delete: ValueIndex 3 out of bounds (0 to 2)."},
    {"SeriesDeleteFromEmpty", msg::seriesDeleteOutOfBounds(0, -1),
     "Series Delete: ValueIndex 0 out of bounds (0 to -1)."},
    {"StreamWrite", msg::kStreamWrite, "Stream write error"},
};

class MessageTable : public testing::TestWithParam<MessageRow> {};

TEST_P(MessageTable, ExactText)
{
    EXPECT_EQ(GetParam().actual, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Errors, MessageTable, testing::ValuesIn(kMessageRows), test::RowName());

} // namespace
} // namespace potencor
