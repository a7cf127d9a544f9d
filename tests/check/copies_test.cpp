// Protocols of one class that share measured points: the pairs found, and
// those that must not be.
#include "check/copies.h"
#include "check/report.h"
#include "tests/check/session.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace potencor::check {
namespace {

using test::Student;

// Clicks on the pixels nearest (x, y) cm: 0.3 cm right of and 0.4 cm above
// grid intersections, so that they count; row `row`, `n` points from column `from`.
void offGrid(Student& s, int row, int n, int from = 0)
{
    for (int k = from; k < from + n; ++k)
        s.click(1.3L + k, 1.4L + row);
}

FileReport report(const std::string& path, const Student& s)
{
    return checkBytes(path, s.text(), {});
}

std::vector<std::string> copyMessages(const FileReport& r)
{
    std::vector<std::string> v;
    for (const Finding& f : r.findings)
        if (f.kind == Kind::SuspectedCopy)
            v.push_back(f.message);
    return v;
}

struct CopyRow {
    const char* name;
    std::function<std::vector<FileReport>()> files;
    std::vector<std::vector<std::string>> messages; // per file, in order
    friend void PrintTo(const CopyRow& r, std::ostream* os) { *os << r.name; }
};

const CopyRow kCopyRows[] = {
    {"WholeCopyWithTheOtherSeparator",
     [] {
         Student a, b;
         b.separator = U',';
         offGrid(a, 1, 10);
         offGrid(b, 1, 10);
         Student c;
         offGrid(c, 2, 10);
         return std::vector{report("a.txt", a), report("b.txt", b), report("c.txt", c)};
     },
     {{"shares 10 of 10 measured points with b.txt"}, {"shares 10 of 10 measured points with a.txt"}, {}}},
    {"FourSharedAreTooFew",
     [] {
         Student a, b;
         offGrid(a, 1, 4);
         offGrid(b, 1, 4);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{}, {}}},
    {"FiveShared",
     [] {
         Student a, b;
         offGrid(a, 1, 5);
         offGrid(b, 1, 5);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{"shares 5 of 5 measured points with b.txt"}, {"shares 5 of 5 measured points with a.txt"}}},
    {"HalfOfTheShorterProtocol",
     [] {
         Student a, b;
         offGrid(a, 1, 10);
         offGrid(b, 2, 10);
         offGrid(b, 1, 5); // half of a's, among b's own
         offGrid(b, 3, 10);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{"shares 5 of 10 measured points with b.txt"}, {"shares 5 of 25 measured points with a.txt"}}},
    {"LessThanHalfOfTheShorterProtocol",
     [] {
         Student a, b;
         offGrid(a, 1, 11);
         offGrid(b, 2, 10);
         offGrid(b, 1, 5);
         offGrid(b, 3, 10);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{}, {}}},
    {"PointsTwiceInOneFileCountOnce",
     [] {
         Student a, b;
         offGrid(a, 1, 4);
         offGrid(a, 1, 4);
         offGrid(b, 1, 4);
         offGrid(b, 1, 4);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{}, {}}},
    {"SnappedPointsDoNotCount",
     [] {
         Student a, b;
         for (Student* s : {&a, &b})
             for (int k = 0; k < 20; ++k)
                 s->click(1.3L + k, 7.4L, true);
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{}, {}}},
    {"PixelsOfTheDrawnGridDoNotCount",
     [] {
         Student a, b;
         for (Student* s : {&a, &b}) {
             for (int k = 0; k < 10; ++k) {
                 s->click(10 + k, 20);      // intersections
                 s->click(10.3L + k, 15);   // along the row of y = 15 cm
                 s->click(21, 3.4L + k);    // along the column of x = 21 cm
             }
         }
         return std::vector{report("a.txt", a), report("b.txt", b)};
     },
     {{}, {}}},
    {"OneFileGivenTwice",
     [] {
         Student a;
         offGrid(a, 1, 10);
         return std::vector{report("a.txt", a), report("a.txt", a)};
     },
     {{}, {}}},
    {"ThreeWays",
     [] {
         Student a, b, c;
         for (Student* s : {&a, &b, &c})
             offGrid(*s, 1, 6);
         return std::vector{report("c.txt", c), report("a.txt", a), report("b.txt", b)};
     },
     {{"shares 6 of 6 measured points with a.txt", "shares 6 of 6 measured points with b.txt"},
      {"shares 6 of 6 measured points with b.txt", "shares 6 of 6 measured points with c.txt"},
      {"shares 6 of 6 measured points with a.txt", "shares 6 of 6 measured points with c.txt"}}},
};

class CopyTable : public testing::TestWithParam<CopyRow> {};

TEST_P(CopyTable, Pairs)
{
    std::vector<FileReport> files = GetParam().files();
    findCopies(files, false);
    ASSERT_EQ(files.size(), GetParam().messages.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(copyMessages(files[i]), GetParam().messages[i]) << files[i].path;
        EXPECT_EQ(files[i].copies.size(), GetParam().messages[i].size());
        EXPECT_EQ(status(files[i]) == "suspected copy", !GetParam().messages[i].empty()) << files[i].path;
    }
}

INSTANTIATE_TEST_SUITE_P(Copies, CopyTable, testing::ValuesIn(kCopyRows), test::RowName());

// Which printed points count: half a pixel is 42.85 cm / 962 / 2 = 0.02227 cm
// across and 30 cm / 677 / 2 = 0.02216 cm up.
struct CountRow {
    const char* name;
    long double x, y;
    bool counts;
    friend void PrintTo(const CountRow& r, std::ostream* os) { *os << r.name; }
};

const CountRow kCountRows[] = {
    {"Anywhere", 21.425L, 15.288L, true},
    {"SnapGrid", 12.0L, 20.5L, false},
    {"OnlyXOnTheHalfGrid", 12.5L, 20.3L, true},
    {"GridIntersectionPixel", 4.989L, 3.013L, false},
    {"RowOfYFifteen", 21.425L, 14.978L, false},
    {"HalfAPixelRightOfACentimetre", 10.022L, 20.3L, false},
    {"JustBeyondHalfAPixelAcross", 10.023L, 20.3L, true},
    {"HalfAPixelAboveACentimetre", 20.3L, 15.022L, false},
    {"JustBeyondHalfAPixelUp", 20.3L, 15.023L, true},
    {"NegativeCoordinates", -0.613L, -0.371L, true},
    {"FarBeyondAnyScreen", 3.3e9L, 2.4L, false},
};

class CountTable : public testing::TestWithParam<CountRow> {};

TEST_P(CountTable, CountsForCopies)
{
    EXPECT_EQ(countsForCopies(GetParam().x, GetParam().y), GetParam().counts);
}

INSTANTIATE_TEST_SUITE_P(Copies, CountTable, testing::ValuesIn(kCountRows), test::RowName());

// Thirty students clicking anywhere on the plot, fifty points each, and one
// who copied: only that pair is found.
TEST(Copies, ClassOfIndependentProtocolsHasOnlyTheCopiedPair)
{
    std::mt19937 rng(2026);
    std::uniform_int_distribution<int> px(35, 997), py(33, 710);
    std::vector<FileReport> files;
    Student copied;
    for (int i = 0; i < 30; ++i) {
        Student s;
        for (int k = 0; k < 50; ++k)
            s.clickPx(px(rng), py(rng));
        if (i == 7)
            copied = s;
        files.push_back(report("s" + std::to_string(i) + ".txt", s));
    }
    copied.type("Сидоров С.");
    files.push_back(report("copy.txt", copied));
    findCopies(files, false);
    for (const FileReport& r : files) {
        const bool inPair = r.path == "s7.txt" || r.path == "copy.txt";
        ASSERT_EQ(r.copies.size(), inPair ? 1u : 0u) << r.path;
        if (inPair) {
            EXPECT_EQ(r.copies[0].with, r.path == "s7.txt" ? "copy.txt" : "s7.txt");
            EXPECT_EQ(r.copies[0].shared, r.copies[0].of);
            EXPECT_GT(r.copies[0].of, 40u); // all of 50 but the few on grid lines
        }
    }
}

TEST(Copies, WarningUnlessStrictAndAmongTheWorst)
{
    Student a, b, wrong;
    offGrid(a, 1, 6);
    offGrid(b, 1, 6);
    offGrid(wrong, 3, 6);
    std::string edited = wrong.text();
    edited.replace(edited.find("phi=") + 4, 1, edited[edited.find("phi=") + 4] == '9' ? "8" : "9");
    for (const bool strict : {false, true}) {
        std::vector<FileReport> files{report("a.txt", a), checkBytes("e.txt", edited, {}), report("b.txt", b)};
        FileReport unreadable;
        unreadable.path = "z.txt";
        unreadable.readError = "is a directory";
        files.push_back(unreadable);
        findCopies(files, strict);
        const FileReport& ra = files[0];
        ASSERT_EQ(copyMessages(ra).size(), 1u);
        EXPECT_EQ(ra.findings.back().severity, strict ? Severity::Error : Severity::Warning);
        EXPECT_EQ(ra.count(Severity::Error), strict ? 1u : 0u);
        EXPECT_EQ(ra.count(Severity::Warning), strict ? 0u : 1u);
        EXPECT_EQ(ra.other, 1u);
        std::vector<std::string> order;
        for (const FileReport* r : worstFirst(files))
            order.push_back(r->path);
        EXPECT_EQ(order, (std::vector<std::string>{"z.txt", "a.txt", "b.txt", "e.txt"}));
    }
}

} // namespace
} // namespace potencor::check
