#include "core/error.h"
#include "core/journal.h"
#include "core/protocol.h"
#include "core/protocol_parse.h"
#include "core/session.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace potencor {
namespace {

using Kind = Session::Change::Kind;

TEST(Session, MeasureAndUndoKeepPointsAndCounterInStep)
{
    Session s;
    const auto first = s.measure(21.425L, 15.0L, U'.');
    EXPECT_EQ(first.kind, Kind::Measured);
    EXPECT_EQ(first.line, "0: x=21.425см y=15.000см phi=6.300 В");
    EXPECT_EQ(s.measure(0.0L, 0.0L, U',').line, "1: x=0,000см y=0,000см phi=4,672 В");
    const auto third = s.measure(33.0L, 15.0L, U'.');
    EXPECT_EQ(third.line, "2: x=33.000см y=15.000см phi=12.600 В");
    EXPECT_EQ(third.point, (MeasuredPoint{33.0L, 15.0L, 2}));
    EXPECT_EQ(third.count, 3);

    const auto undone = s.undo();
    EXPECT_EQ(undone.kind, Kind::Undone);
    EXPECT_EQ(undone.point, (MeasuredPoint{33.0L, 15.0L, 2}));
    EXPECT_EQ(undone.count, 2);
    EXPECT_EQ(s.count(), 2);
    EXPECT_EQ(s.points(), (std::vector<MeasuredPoint>{{21.425L, 15.0L, 0}, {0.0L, 0.0L, 1}}));

    // The next measurement takes the freed number.
    EXPECT_EQ(s.measure(15.0L, 15.0L, U'.').line, "2: x=15.000см y=15.000см phi=3.616 В");
    EXPECT_EQ(s.points().back().number, 2);
}

TEST(Session, UndoStopsAtZero)
{
    Session s;
    s.measure(1.0L, 1.0L, U'.');
    EXPECT_EQ(s.undo().kind, Kind::Undone);
    EXPECT_TRUE(s.points().empty());
    EXPECT_EQ(s.count(), 0);
    const auto nothing = s.undo();
    EXPECT_EQ(nothing.kind, Kind::None);
    EXPECT_EQ(nothing.count, 0);
    EXPECT_EQ(s.count(), 0);
}

TEST(Session, CounterOverflowKeepsThePointAndIsReportedAfterwards)
{
    Session s = Session::restored({}, std::numeric_limits<std::int32_t>::max(), false);
    const auto c = s.measure(1.0L, 1.0L, U'.');
    EXPECT_EQ(c.line, "2147483647: x=1.000см y=1.000см phi=4.573 В");
    EXPECT_TRUE(c.countOverflow);
    EXPECT_EQ(s.points().size(), 1u);
    EXPECT_EQ(s.count(), std::numeric_limits<std::int32_t>::max());
    EXPECT_THROW(c.raiseDeferred(), Error);
    EXPECT_NO_THROW(Session{}.measure(1.0L, 1.0L, U'.').raiseDeferred());
}

// ---- The numbering a protocol can show ----

// A student at random: measures, undoes, types a line at the end. The
// protocol is its list of lines: a measurement line carries the number the
// session wrote on it, a typed one none, and an undo that took a point takes
// the last line, whatever it is. Every protocol on the way must pass the
// numbering rule, with a number again only after a typed line was undone.
TEST(NumberStep, AcceptsEveryNumberingTheSessionWrites)
{
    std::size_t reused = 0, dropsBelowPrevious = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> action(0, 9);
        Session s;
        std::vector<std::optional<std::int32_t>> lines;
        bool typedLineUndone = false;
        for (int step = 0; step < 200; ++step) {
            const int a = action(rng);
            if (a < 5) {
                const auto parsed = protocol::parseLine(s.measure(1.0L + step % 30, 2.0L, U'.').line);
                ASSERT_TRUE(parsed);
                lines.push_back(parsed->number);
            } else if (a < 8) {
                if (s.undo().kind != Kind::None && !lines.empty()) {
                    typedLineUndone = typedLineUndone || !lines.back();
                    lines.pop_back();
                }
            } else {
                lines.push_back(std::nullopt);
            }

            std::optional<std::int32_t> previous;
            for (const std::optional<std::int32_t>& n : lines) {
                if (!n)
                    continue;
                const NumberStep k = numberStep(previous, *n);
                if (k == NumberStep::Reused) {
                    ++reused;
                    dropsBelowPrevious += *n < *previous;
                }
                ASSERT_TRUE(k == NumberStep::Next || (k == NumberStep::Reused && typedLineUndone))
                    << "seed " << seed << ", step " << step << ": " << *n << " after "
                    << (previous ? std::to_string(*previous) : "nothing") << " is " << static_cast<int>(k);
                previous = n;
            }
        }
    }
    // The walk must reach what the rule is about, not only plain series.
    EXPECT_GT(reused, 0u);
    EXPECT_GT(dropsBelowPrevious, 0u);
}

// Numberings no session writes, and the edges of those it does; each step's
// kind by hand.
struct NumberingRow {
    const char* name;
    std::optional<std::int32_t> before; // the number on an earlier line
    std::vector<std::int32_t> numbers;
    std::vector<NumberStep> steps;
    friend void PrintTo(const NumberingRow& r, std::ostream* os) { *os << r.name; }
};

constexpr std::int32_t kTop = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kBottom = std::numeric_limits<std::int32_t>::min();

const NumberingRow kNumberingRows[] = {
    {"Series", std::nullopt, {0, 1, 2}, {NumberStep::Next, NumberStep::Next, NumberStep::Next}},
    {"LineDeleted", std::nullopt, {0, 1, 3}, {NumberStep::Next, NumberStep::Next, NumberStep::Gap}},
    {"GapAfterReuse", std::nullopt, {0, 1, 2, 1, 3},
     {NumberStep::Next, NumberStep::Next, NumberStep::Next, NumberStep::Reused, NumberStep::Gap}},
    {"DropToZeroThenGap", 7, {0, 5}, {NumberStep::Reused, NumberStep::Gap}},
    {"FirstLineDeleted", std::nullopt, {1, 2}, {NumberStep::FirstNotZero, NumberStep::Next}},
    {"FirstNegative", std::nullopt, {-1}, {NumberStep::Negative}},
    {"NegativeInTheMiddle", std::nullopt, {0, -3, -2, 0},
     {NumberStep::Next, NumberStep::Negative, NumberStep::Negative, NumberStep::Gap}},
    {"LowestAfterHighest", kTop, {kBottom}, {NumberStep::Negative}},
    {"HighestAfterLowest", kBottom, {kTop}, {NumberStep::Gap}},
    {"CounterAtItsTopRepeats", kTop - 1, {kTop, kTop}, {NumberStep::Next, NumberStep::Reused}},
};

class Numbering : public testing::TestWithParam<NumberingRow> {};

TEST_P(Numbering, EachStepsKind)
{
    const NumberingRow& row = GetParam();
    std::optional<std::int32_t> previous = row.before;
    std::vector<NumberStep> steps;
    for (const std::int32_t n : row.numbers) {
        steps.push_back(numberStep(previous, n));
        previous = n;
    }
    EXPECT_EQ(steps, row.steps);
}

INSTANTIATE_TEST_SUITE_P(Rows, Numbering, testing::ValuesIn(kNumberingRows), test::RowName{});

// ---- A protocol read back ----

struct ProtocolRow {
    const char* name;
    const char* text;
    std::vector<std::int32_t> numbers; // of the points, in order
    std::int32_t count;
};

const ProtocolRow kProtocolRows[] = {
    {"Empty", "", {}, 0},
    {"OnlyText", "Иванов, группа 101\r\nопыт 1\r\n", {}, 0},
    {"Measured", "0: x=21.425см y=15.000см phi=6.300 В\r\n1: x=0,000см y=0,000см phi=4,672 В\r\n", {0, 1}, 2},
    {"TextAmongLines", "опыт 1\r\n0: x=1.000см y=1.000см phi=4.707 В\r\nзаметка\r\n1: x=2.000см y=1.000см phi=4.7 В\r\n", {0}, 1},
    {"GapsAndOrder", "3: x=1.000см y=1.000см phi=4.707 В\r\n1: x=2.000см y=2.000см phi=4.759 В", {3, 1}, 4},
    {"LoneLineFeeds", "0: x=1.000см y=1.000см phi=4.707 В\n1: x=2.000см y=2.000см phi=4.759 В\n", {0, 1}, 2},
    {"AsciiFile", "0: x=1.000?? y=1.000?? phi=4.707 ?\r\n", {0}, 1},
    {"NegativeNumberIsText", "-1: x=1.000см y=1.000см phi=4.573 В\r\n", {}, 0},
    {"TopNumber", "2147483647: x=1.000см y=1.000см phi=4.573 В\r\n", {2147483647}, 2147483647},
};

class FromProtocol : public testing::TestWithParam<ProtocolRow> {};

TEST_P(FromProtocol, MeasurementLinesBecomePointsAndTheCounterFollowsTheHighest)
{
    const ProtocolRow& row = GetParam();
    const Session s = Session::fromProtocol(row.text);
    std::vector<std::int32_t> numbers;
    for (const MeasuredPoint& p : s.points())
        numbers.push_back(p.number);
    EXPECT_EQ(numbers, row.numbers);
    EXPECT_EQ(s.count(), row.count);
}

INSTANTIATE_TEST_SUITE_P(Rows, FromProtocol, testing::ValuesIn(kProtocolRows), test::RowName{});

TEST(Session, ReadBackPointsAreTheMeasuredCoordinates)
{
    const Session s = Session::fromProtocol("0: x=-1,559см y=14,978см phi=4,200 В\r\n");
    ASSERT_EQ(s.points().size(), 1u);
    EXPECT_EQ(s.points()[0].X1_cm, -1.559L);
    EXPECT_EQ(s.points()[0].Y1_cm, 14.978L);
}

// ---- The journal ----

journal::State sampleState()
{
    Session s;
    s.measure(21.425L, 15.0L, U'.');
    s.measure(1.0L / 3.0L, -2.0L / 7.0L, U','); // every bit must come back
    s.setLabelsVisible(true);
    return {u"0: x=21.425см y=15.000см phi=6.300 В\nруками\u00a0набрано\u2028\n", s};
}

TEST(Journal, SnapshotAndRecordsReplayToTheSameState)
{
    const journal::State start = sampleState();
    std::string file = journal::header() + journal::snapshot(start);

    // What the owner of the work records for: a measurement, a typed
    // character, an undo, labels off.
    const std::u16string line = u"2: x=30.000см y=15.000см phi=10.328 В\n";
    file += journal::edit(static_cast<std::uint32_t>(start.protocol.size()), 0, line);
    file += journal::pointAppended({30.0L, 15.0L, 2}) + journal::count(3);
    file += journal::edit(3, 2, u"X");
    file += journal::pointRemoved() + journal::count(2);
    file += journal::labels(false);

    const journal::State expected{
        u"0: X21.425см y=15.000см phi=6.300 В\nруками\u00a0набрано\u2028\n2: x=30.000см y=15.000см phi=10.328 В\n",
        Session::restored(start.session.points(), 2, false)};
    const journal::ReadResult r = journal::read(file);
    ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << r.detail;
    EXPECT_FALSE(r.tornTail);
    EXPECT_EQ(r.state, expected);
}

TEST(Journal, ATornLastRecordIsDroppedAndTheRestKept)
{
    const journal::State start = sampleState();
    const std::string whole = journal::header() + journal::snapshot(start) + journal::labels(false);
    const std::string last = journal::edit(0, 0, u"потеряно");
    // Every cut inside the last record, and the same record with a flipped byte.
    for (std::size_t keep = 0; keep < last.size(); ++keep) {
        const journal::ReadResult r = journal::read(whole + last.substr(0, keep));
        ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << keep;
        EXPECT_EQ(r.tornTail, keep > 0) << keep;
        EXPECT_EQ(r.state.protocol, start.protocol);
        EXPECT_FALSE(r.state.session.labelsVisible());
    }
    std::string flipped = whole + last;
    flipped.back() ^= 0x20;
    const journal::ReadResult r = journal::read(flipped);
    EXPECT_EQ(r.status, journal::ReadResult::Status::Ok);
    EXPECT_TRUE(r.tornTail);
    EXPECT_EQ(r.state.protocol, start.protocol);
}

struct BadFileRow {
    const char* name;
    std::string bytes;
    journal::ReadResult::Status status;
};

class BadJournal : public testing::TestWithParam<BadFileRow> {};

TEST_P(BadJournal, IsReportedNeverRestored)
{
    const journal::ReadResult r = journal::read(GetParam().bytes);
    EXPECT_EQ(r.status, GetParam().status) << r.detail;
}

const std::string kSnap = journal::snapshot(sampleState());
INSTANTIATE_TEST_SUITE_P(
    Rows, BadJournal,
    testing::Values(
        BadFileRow{"Empty", "", journal::ReadResult::Status::Foreign},
        BadFileRow{"AProtocol", "0: x=1.000см y=1.000см phi=4.573 В\r\n", journal::ReadResult::Status::Foreign},
        BadFileRow{"HeaderOnly", journal::header(), journal::ReadResult::Status::Corrupt},
        BadFileRow{"SnapshotCut", journal::header() + kSnap.substr(0, kSnap.size() - 1), journal::ReadResult::Status::Corrupt},
        BadFileRow{"SnapshotDamaged", journal::header() + kSnap.substr(0, 20) + "!" + kSnap.substr(21), journal::ReadResult::Status::Corrupt},
        BadFileRow{"RecordFirst", journal::header() + journal::labels(true), journal::ReadResult::Status::Corrupt},
        BadFileRow{"EditBeyondText", journal::header() + kSnap + journal::edit(100000, 0, u"x"), journal::ReadResult::Status::Corrupt},
        BadFileRow{"RemovesAMissingPoint",
                   journal::header() + journal::snapshot({}) + journal::pointRemoved(), journal::ReadResult::Status::Corrupt},
        BadFileRow{"SecondSnapshot", journal::header() + kSnap + kSnap, journal::ReadResult::Status::Corrupt}),
    test::RowName{});

} // namespace
} // namespace potencor
