// Files the program's own writer saves, in each of the save dialog's
// encodings and with either separator: the checker must pass every one.
#include "check/check.h"
#include "export/protocol_file.h"
#include "tests/check/session.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

namespace potencor::check {
namespace {

using text::Encoding;
using test::Student;

struct Scenario {
    const char* name;
    std::function<void(Student&)> play;
    std::size_t typedLines;  // free text left in the protocol
    std::size_t orphanLines; // measurement lines whose point an undo took
};

const Scenario kScenarios[] = {
    {"AcrossThePlane",
     [](Student& s) {
         for (int dx = 20; dx < 1010; dx += 37)
             for (int dy = 20; dy < 730; dy += 53)
                 s.clickPx(dx, dy);
     },
     0, 0},
    {"SnappedGrid",
     [](Student& s) {
         for (int dx = 30; dx < 1010; dx += 41)
             s.clickPx(dx, 40 + dx / 2, true);
     },
     0, 0},
    {"ElectrodeInteriors",
     [](Student& s) {
         for (int k = -30; k <= 30; k += 3) {
             s.click(9.35L + k * 0.045L, 15.0L + k * 0.02L);
             s.click(33.5L + k * 0.045L, 15.0L - k * 0.02L);
         }
     },
     0, 0},
    {"AcrossTheSurfaces",
     [](Student& s) {
         for (int k = -20; k <= 20; ++k) {
             s.click(10.8L + k * 0.05L, 15.0L + k * 0.05L);
             s.click(32.05L + k * 0.05L, 15.5L);
         }
     },
     0, 0},
    {"NegativeCoordinates",
     [](Student& s) {
         for (int dx = 0; dx < 60; dx += 7)
             s.clickPx(dx, 700 + dx);
     },
     0, 0},
    {"TypingAndUndo",
     [](Student& s) {
         s.type("Иванов И. И., группа 101");
         s.click(5, 5);
         s.click(20, 10);
         s.click(25, 20);
         s.undo();
         s.click(26, 21);
         s.type("заметка");
         s.undo();
         s.click(27, 22); // numbered 2 again
     },
     1, 1},
};

struct EncodingRow {
    const char* name;
    Encoding written;
    text::Encoding detected;
};

const EncodingRow kEncodings[] = {
    {"Ansi", Encoding::Ansi, text::Encoding::Ansi},
    {"Ascii", Encoding::Ascii, text::Encoding::Utf8}, // ASCII is UTF-8's first half
    {"Unicode", Encoding::Unicode, text::Encoding::Unicode},
    {"BigEndianUnicode", Encoding::BigEndianUnicode, text::Encoding::BigEndianUnicode},
    {"Utf8", Encoding::Utf8, text::Encoding::Utf8},
    {"Utf7", Encoding::Utf7, text::Encoding::Utf7},
};

struct Row {
    Scenario scenario;
    EncodingRow encoding;
    char32_t separator;
    friend void PrintTo(const Row& r, std::ostream* os) { *os << r.scenario.name << ' ' << r.encoding.name; }
};

std::vector<Row> rows()
{
    std::vector<Row> v;
    for (const Scenario& s : kScenarios)
        for (const EncodingRow& e : kEncodings)
            for (const char32_t sep : {U'.', U','})
                v.push_back({s, e, sep});
    return v;
}

std::string rowName(const testing::TestParamInfo<Row>& info)
{
    return std::string(info.param.scenario.name) + "_" + info.param.encoding.name
           + (info.param.separator == U',' ? "_Comma" : "_FullStop");
}

class WrittenFiles : public testing::TestWithParam<Row> {};

TEST_P(WrittenFiles, PassUnchanged)
{
    const Row& r = GetParam();
    Student s;
    s.separator = r.separator;
    r.scenario.play(s);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("data.txt");
    exporting::saveProtocol(path, QString::fromStdString(s.text()), r.encoding.written);

    for (const std::optional<text::Encoding> forced : {std::optional<text::Encoding>(), std::optional(r.encoding.detected)}) {
        const FileReport report = checkFile(path.toStdString(), {forced});
        ASSERT_FALSE(report.readError) << *report.readError;
        EXPECT_EQ(report.encoding, r.encoding.detected);
        EXPECT_EQ(report.ok, s.points() + r.scenario.orphanLines);
        EXPECT_EQ(report.wrong, 0u);
        EXPECT_EQ(report.malformed, 0u);
        EXPECT_EQ(report.count(Severity::Error), 0u);
        for (const Finding& f : report.findings)
            EXPECT_TRUE(f.kind == Kind::FreeText || f.kind == Kind::Renumbered)
                << f.line << ": " << kindName(f.kind) << ": " << f.message << "\n" << f.text;
        EXPECT_EQ(report.count(Severity::Warning), r.scenario.typedLines + r.scenario.orphanLines);
    }
}

INSTANTIATE_TEST_SUITE_P(Check, WrittenFiles, testing::ValuesIn(rows()), rowName);

} // namespace
} // namespace potencor::check
