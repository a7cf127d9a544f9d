// A journal left by an earlier build of the program must still come back:
// these bytes were written by the journal's writer of the time, which copied
// each value's ten bytes from memory.
#include "core/journal.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace potencor {
namespace {

// A snapshot (two points, counter 2, labels on, two lines), then: a typed
// line, a point at (12.6, -0), counter 3, labels off, a point at the
// smallest subnormal and minus the largest value, counter 8, a point taken
// back at once, an edit of the first line.
constexpr char kJournal[] =
    // header
    "\x50\x4F\x54\x45\x4E\x43\x4F\x52\x2D\x4A\x4F\x55\x52\x4E\x41\x4C\x0A\x01\x00"
    // snapshot
    "\xCF\x00\x00\x00\xEC\xDD\xA5\x8B\x01\x02\x00\x00\x00\x01\x02\x00\x00\x00\x00\x00\x00\x00\x66\x66"
    "\x66\x66\x66\x66\x66\xAB\x03\x40\x00\x00\x00\x00\x00\x00\x00\xF0\x02\x40\x01\x00\x00\x00\xAB\xAA"
    "\xAA\xAA\xAA\xAA\xAA\xAA\xFD\x3F\x49\x92\x24\x49\x92\x24\x49\x92\xFD\xBF\x49\x00\x00\x00\x30\x00"
    "\x3A\x00\x20\x00\x78\x00\x3D\x00\x32\x00\x31\x00\x2E\x00\x34\x00\x32\x00\x35\x00\x41\x04\x3C\x04"
    "\x20\x00\x79\x00\x3D\x00\x31\x00\x35\x00\x2E\x00\x30\x00\x30\x00\x30\x00\x41\x04\x3C\x04\x20\x00"
    "\x70\x00\x68\x00\x69\x00\x3D\x00\x36\x00\x2E\x00\x33\x00\x30\x00\x30\x00\x20\x00\x12\x04\x0A\x00"
    "\x31\x00\x3A\x00\x20\x00\x78\x00\x3D\x00\x30\x00\x2C\x00\x33\x00\x33\x00\x33\x00\x41\x04\x3C\x04"
    "\x20\x00\x79\x00\x3D\x00\x2D\x00\x30\x00\x2C\x00\x32\x00\x38\x00\x36\x00\x41\x04\x3C\x04\x20\x00"
    "\x70\x00\x68\x00\x69\x00\x3D\x00\x33\x00\x2C\x00\x30\x00\x33\x00\x35\x00\x20\x00\x12\x04\x0A\x00"
    // edit
    "\x54\x00\x00\x00\xFD\xAB\x9C\x84\x02\x49\x00\x00\x00\x00\x00\x00\x00\x24\x00\x00\x00\x32\x00\x3A"
    "\x00\x20\x00\x78\x00\x3D\x00\x31\x00\x32\x00\x2E\x00\x36\x00\x30\x00\x30\x00\x41\x04\x3C\x04\x20"
    "\x00\x79\x00\x3D\x00\x30\x00\x2E\x00\x30\x00\x30\x00\x30\x00\x41\x04\x3C\x04\x20\x00\x70\x00\x68"
    "\x00\x69\x00\x3D\x00\x33\x00\x2E\x00\x38\x00\x30\x00\x37\x00\x20\x00\x12\x04\x0A\x00"
    // point
    "\x18\x00\x00\x00\xBA\x06\x93\x27\x03\x02\x00\x00\x00\x9A\x99\x99\x99\x99\x99\x99\xC9\x02\x40\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x80"
    // count
    "\x04\x00\x00\x00\x83\xD7\x77\x1C\x05\x03\x00\x00\x00"
    // labels
    "\x01\x00\x00\x00\x79\xB5\x83\x17\x06\x00"
    // point
    "\x18\x00\x00\x00\x86\x5E\x28\x7D\x03\x07\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\xFF"
    "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE\xFF"
    // count
    "\x04\x00\x00\x00\x82\x50\x76\xCB\x05\x08\x00\x00\x00"
    // point
    "\x18\x00\x00\x00\x2C\x46\x49\x44\x03\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xF0\x03\x40\x00"
    "\x00\x00\x00\x00\x00\x00\xF0\x02\x40"
    // point removed
    "\x00\x00\x00\x00\x94\x2B\x6F\xD5\x04"
    // edit
    "\x0E\x00\x00\x00\x69\x43\xFF\xBE\x02\x03\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x58\x00";

TEST(JournalWrittenBefore, RestoresTheExactState)
{
    const journal::ReadResult r = journal::read(std::string_view(kJournal, sizeof kJournal - 1));
    ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << r.detail;
    EXPECT_FALSE(r.tornTail);
    const std::vector<MeasuredPoint> points = {
        {21.425L, 15.0L, 0}, {1.0L / 3.0L, -2.0L / 7.0L, 1}, {12.6L, -0.0L, 2}, {LDBL_TRUE_MIN, -LDBL_MAX, 7}};
    const journal::State expected{u"0: X21.425см y=15.000см phi=6.300 В\n"
                                  u"1: x=0,333см y=-0,286см phi=3,035 В\n"
                                  u"2: x=12.600см y=0.000см phi=3.807 В\n",
                                  Session::restored(points, 8, false)};
    EXPECT_EQ(r.state, expected);
    ASSERT_EQ(r.state.session.points().size(), 4u);
    EXPECT_TRUE(std::signbit(r.state.session.points()[2].Y1_cm)); // -0, not 0
}


// A new journal's first bytes made with the text given by parts are the
// header and snapshot that earlier build wrote, wherever the parts split it.
TEST(JournalWrittenBefore, ItsSnapshotComesBackFromTextGivenByParts)
{
    const std::string_view written(kJournal, 19 + 9 + 0xCF);
    const Session session = Session::restored({{21.425L, 15.0L, 0}, {1.0L / 3.0L, -2.0L / 7.0L, 1}}, 2, true);
    const std::u16string text = u"0: x=21.425см y=15.000см phi=6.300 В\n1: x=0,333см y=-0,286см phi=3,035 В\n";
    for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{12}, text.size() / 2, text.size()}) {
        journal::SnapshotBuilder b(session, text.size());
        b.appendText(std::u16string_view(text).substr(0, cut));
        b.appendText(std::u16string_view(text).substr(cut, 5));
        b.appendText({});
        if (cut + 5 < text.size())
            b.appendText(std::u16string_view(text).substr(cut + 5));
        EXPECT_EQ(b.finish(), written) << "cut at " << cut;
    }
    EXPECT_EQ(journal::header() + journal::snapshot({text, session}), written);
}

// ---- Damage: a write cut short at the end, or the file changed since ----

// A snapshot of an empty session, then six measurements, each its line, its
// point and the counter.
struct Written {
    std::string bytes;
    std::vector<std::size_t> pointAt; // where each point's record starts
    std::size_t lastAt = 0;           // where the last record starts
};

Written sixMeasurements()
{
    Written w;
    w.bytes = journal::header() + journal::snapshot({});
    std::uint32_t length = 0;
    for (int k = 0; k < 6; ++k) {
        const std::u16string line = u"N: x=1.000см y=2.000см phi=3.000 В\n";
        w.bytes += journal::edit(length, 0, line);
        length += static_cast<std::uint32_t>(line.size());
        w.pointAt.push_back(w.bytes.size());
        w.bytes += journal::pointAppended({1.0L + k, 2.0L, k});
        w.lastAt = w.bytes.size();
        w.bytes += journal::count(k + 1);
    }
    return w;
}

struct DamageRow {
    const char* name;
    std::function<void(std::string& bytes, const Written& w)> damage;
    journal::ReadResult::Status status;
    bool tornTail;
    std::size_t points; // what comes back
    std::int32_t count;
    std::size_t lines;
    // Partial: the damaged record's start.
    std::function<std::size_t(const Written& w)> damagedAt = [](const Written&) { return std::size_t{0}; };
    friend void PrintTo(const DamageRow& r, std::ostream* os) { *os << r.name; }
};

class JournalDamage : public testing::TestWithParam<DamageRow> {};

TEST_P(JournalDamage, ComesBackUpToTheDamageAndSaysWhetherMoreWasThere)
{
    const DamageRow& row = GetParam();
    const Written w = sixMeasurements();
    std::string bytes = w.bytes;
    row.damage(bytes, w);
    const journal::ReadResult r = journal::read(bytes);
    ASSERT_EQ(r.status, row.status) << r.detail;
    EXPECT_EQ(r.tornTail, row.tornTail);
    EXPECT_EQ(r.state.session.points().size(), row.points);
    EXPECT_EQ(r.state.session.count(), row.count);
    EXPECT_EQ(std::count(r.state.protocol.begin(), r.state.protocol.end(), u'\n'), static_cast<long>(row.lines));
    for (std::size_t i = 0; i < r.state.session.points().size(); ++i)
        EXPECT_EQ(r.state.session.points()[i].number, static_cast<int>(i));
    EXPECT_EQ(r.damagedAt, row.damagedAt(w));
}

using Status = journal::ReadResult::Status;
const auto atFourthPoint = [](const Written& w) { return w.pointAt[3]; };

INSTANTIATE_TEST_SUITE_P(
    Table, JournalDamage,
    testing::Values(
        DamageRow{"Intact", [](std::string&, const Written&) {}, Status::Ok, false, 6, 6, 6},
        // A crash while writing: what the last write held is dropped, silently.
        DamageRow{"LastRecordCutShort", [](std::string& b, const Written&) { b.resize(b.size() - 2); }, Status::Ok,
                  true, 6, 5, 6},
        DamageRow{"LastRecordsHeaderCutShort", [](std::string& b, const Written& w) { b.resize(w.lastAt + 5); },
                  Status::Ok, true, 6, 5, 6},
        DamageRow{"LastRecordGarbled", [](std::string& b, const Written&) { b[b.size() - 1] ^= 0x40; }, Status::Ok,
                  true, 6, 5, 6},
        // A power cut after the file grew but before its data was written.
        DamageRow{"ZerosAfterTheLastRecord", [](std::string& b, const Written&) { b.append(4096, '\0'); },
                  Status::Ok, true, 6, 6, 6},
        // One byte changed in the middle: the three measurements before it
        // come back, and the reader says that more was there.
        DamageRow{"MiddlePointsBodyFlipped", [](std::string& b, const Written& w) { b[w.pointAt[3] + 12] ^= 0x01; },
                  Status::Partial, false, 3, 3, 4, atFourthPoint},
        DamageRow{"MiddlePointsChecksumFlipped", [](std::string& b, const Written& w) { b[w.pointAt[3] + 5] ^= 0x80; },
                  Status::Partial, false, 3, 3, 4, atFourthPoint},
        DamageRow{"MiddlePointsLengthTooLong", [](std::string& b, const Written& w) { b[w.pointAt[3] + 3] ^= 0x10; },
                  Status::Partial, false, 3, 3, 4, atFourthPoint},
        DamageRow{"MiddlePointsLengthTooShort", [](std::string& b, const Written& w) { b[w.pointAt[3]] ^= 0x08; },
                  Status::Partial, false, 3, 3, 4, atFourthPoint},
        DamageRow{"MiddleZeroed", [](std::string& b, const Written& w) { b.replace(w.pointAt[3], 16, 16, '\0'); },
                  Status::Partial, false, 3, 3, 4, atFourthPoint},

        DamageRow{"SnapshotFlipped", [](std::string& b, const Written&) { b[journal::header().size() + 9] ^= 0x01; },
                  Status::Corrupt, false, 0, 0, 0},
        DamageRow{"HeaderOnly", [](std::string& b, const Written&) { b.resize(journal::header().size()); },
                  Status::Corrupt, false, 0, 0, 0}),
    test::RowName{});

} // namespace
} // namespace potencor
