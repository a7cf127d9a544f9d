// One file at a time: protocols the program writes pass, hand edits and junk
// are reported.
#include "check/check.h"
#include "check/report.h"
#include "tests/check/session.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace potencor::check {
namespace {

using test::Student;

// A student's session: points across the plane, into both electrodes, left
// of the plot, on the snap grid.
Student measured(char32_t sep = U'.')
{
    Student s;
    s.separator = sep;
    s.click(21.425L, 15.0L);
    s.click(5.0L, 3.0L);
    s.click(9.35L, 15.0L);            // inside the left electrode
    s.click(33.5L, 15.0L);            // inside the right electrode
    s.click(32.0L, 15.3L);            // next to the right surface, steepest
    s.click(-1.0L, 10.0L);            // left of the plot
    s.click(12.26L, 20.74L, true);    // snapped to the grid: 12.000, 20.500
    s.click(40.0L, 28.0L);
    return s;
}

std::vector<std::pair<std::size_t, Kind>> kindsOf(const FileReport& r)
{
    std::vector<std::pair<std::size_t, Kind>> v;
    for (const Finding& f : r.findings)
        v.emplace_back(f.line, f.kind);
    return v;
}

std::string replaceOnce(std::string s, std::string_view from, std::string_view to)
{
    const std::size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

TEST(Check, ProgramsOwnProtocolPasses)
{
    for (const char32_t sep : {U'.', U','}) {
        const Student s = measured(sep);
        const FileReport r = checkBytes("p.txt", s.text(), {});
        EXPECT_FALSE(r.readError);
        EXPECT_EQ(r.lines, 8u);
        EXPECT_EQ(r.ok, 8u);
        EXPECT_TRUE(r.findings.empty()) << r.findings.front().message;
        EXPECT_EQ(r.points.size(), 8u);
        EXPECT_EQ(status(r), "ok");
    }
}

// ---- Hand edits: what the program cannot write is an error ----

struct EditRow {
    const char* name;
    std::function<std::string(const std::string&)> edit;
    std::vector<std::pair<std::size_t, Kind>> findings;
    friend void PrintTo(const EditRow& r, std::ostream* os) { *os << r.name; }
};

const std::string kProtocol = measured().text();

std::string line(std::size_t no) // 1-based, without its line end
{
    std::size_t start = 0;
    for (std::size_t i = 1; i < no; ++i)
        start = kProtocol.find("\r\n", start) + 2;
    return kProtocol.substr(start, kProtocol.find("\r\n", start) - start);
}

std::string withLine(const std::string& text, std::size_t no, const std::string& replacement)
{
    return replaceOnce(text, line(no), replacement);
}

const EditRow kEditRows[] = {
    {"PotentialTenthsChanged", [](const std::string& t) { return replaceOnce(t, "phi=6.300", "phi=6.400"); },
     {{1, Kind::WrongPotential}}},
    {"PotentialLastDigitChangedByTwo", [](const std::string& t) { return replaceOnce(t, "phi=6.300", "phi=6.302"); },
     {{1, Kind::WrongPotential}}},
    {"ElectrodePotentialChanged", [](const std::string& t) { return replaceOnce(t, "phi=12.600", "phi=12.610"); },
     {{4, Kind::WrongPotential}}},
    {"CoordinateMovedOffItsPotential",
     [](const std::string& t) { return withLine(t, 2, replaceOnce(line(2), "x=4.989", "x=5.989")); },
     {{2, Kind::WrongPotential}, {2, Kind::NotAt100}}},
    {"CoordinatesSwapped",
     [](const std::string& t) { return withLine(t, 8, "7: x=28.000см y=40.000см phi=" + line(8).substr(line(8).find("phi=") + 4)); },
     {{8, Kind::WrongPotential}}},
    {"LineDeleted", [](const std::string& t) { return replaceOnce(t, line(3) + "\r\n", ""); },
     {{3, Kind::Numbering}}},
    {"FirstLineDeleted", [](const std::string& t) { return t.substr(t.find("\r\n") + 2); },
     {{1, Kind::Numbering}}},
    {"LineCopiedToTheEnd", [](const std::string& t) { return t + line(2) + "\r\n"; },
     {{9, Kind::Renumbered}, {9, Kind::DuplicatePoint}}},
    {"LinesSwapped",
     [](const std::string& t) { return replaceOnce(t, line(2) + "\r\n" + line(3), line(3) + "\r\n" + line(2)); },
     {{2, Kind::Numbering}, {3, Kind::Renumbered}, {4, Kind::Numbering}}},
    {"LatinUnits", [](const std::string& t) { return withLine(t, 5, replaceOnce(line(5), "см y", "cm y")); },
     {{5, Kind::Malformed}}},
    {"ExtraSpace", [](const std::string& t) { return withLine(t, 5, replaceOnce(line(5), "x=", "x= ")); },
     {{5, Kind::Malformed}}},
    {"TwoDecimals", [](const std::string& t) { return replaceOnce(t, "phi=6.300", "phi=6.30"); },
     {{1, Kind::Malformed}}},
    {"NameTypedAtTheTop", [](const std::string& t) { return "Иванов И. И., группа 101\r\n" + t; },
     {{1, Kind::FreeText}}},
    {"EmptyLineTyped", [](const std::string& t) { return withLine(t, 4, line(4) + "\r\n"); },
     {{5, Kind::FreeText}}},
    {"FinalLineEndRemoved", [](const std::string& t) { return t.substr(0, t.size() - 2); }, {}},
    {"LoneLineFeeds", [](const std::string& t) {
         std::string u;
         for (const char c : t)
             if (c != '\r')
                 u += c;
         return u;
     }, {}},
    {"NothingButText", [](const std::string&) { return std::string("Измерений нет\r\n"); },
     {{1, Kind::FreeText}, {0, Kind::NoMeasurements}}},
    {"EmptyFile", [](const std::string&) { return std::string(); }, {{0, Kind::NoMeasurements}}},
};

class EditTable : public testing::TestWithParam<EditRow> {};

TEST_P(EditTable, Findings)
{
    const EditRow& r = GetParam();
    const FileReport report = checkBytes("p.txt", r.edit(kProtocol), {});
    EXPECT_EQ(kindsOf(report), r.findings);
}

INSTANTIATE_TEST_SUITE_P(Check, EditTable, testing::ValuesIn(kEditRows), test::RowName());

// What a malformed line does differently, in words.
struct DiagnosisRow {
    const char* name;
    const char* line;
    const char* message;
    friend void PrintTo(const DiagnosisRow& r, std::ostream* os) { *os << r.name; }
};

const DiagnosisRow kDiagnosisRows[] = {
    {"LatinUnit", "0: x=21.425cm y=14.978см phi=6.300 В", "Latin letters in the unit: the program writes Cyrillic \"см\""},
    {"LatinVolt", "0: x=21.425см y=14.978см phi=6.300 B", "a Latin B: the program writes Cyrillic \"В\""},
    {"SpaceAfterEquals", "0: x= 21.425см y=14.978см phi=6.300 В", "spaces where the program writes none"},
    {"TrailingSpace", "0: x=21.425см y=14.978см phi=6.300 В ", "spaces where the program writes none"},
    {"TwoDecimals", "0: x=21.42см y=14.978см phi=6.300 В", "x has 2 decimals: the program writes three"},
    {"NoDecimals", "0: x=21.425см y=14.978см phi=6 В", "phi has no decimals: the program writes three"},
    {"MixedSeparators", "0: x=21.425см y=14,978см phi=6.300 В", "both a full stop and a comma as decimal separator"},
    {"NoNumber", "x=21.425см y=14.978см phi=6.300 В", "no line number and colon at the start"},
    {"NoY", "0: x=21.425см phi=6.300 В", "no \"y=\" where the program writes it"},
    {"LeadingZero", "0: x=021.425см y=14.978см phi=6.300 В", "not in the program's form"},
};

class DiagnosisTable : public testing::TestWithParam<DiagnosisRow> {};

TEST_P(DiagnosisTable, Message)
{
    const FileReport r = checkBytes("p.txt", GetParam().line, {});
    ASSERT_FALSE(r.findings.empty());
    EXPECT_EQ(r.findings[0].kind, Kind::Malformed);
    EXPECT_EQ(r.findings[0].message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Check, DiagnosisTable, testing::ValuesIn(kDiagnosisRows), test::RowName());

// ---- The program's own numbering, undo included ----

struct SessionRow {
    const char* name;
    std::function<void(Student&)> play;
    std::vector<std::pair<std::size_t, Kind>> findings;
    friend void PrintTo(const SessionRow& r, std::ostream* os) { *os << r.name; }
};

const SessionRow kSessionRows[] = {
    {"UndoThenMeasure",
     [](Student& s) {
         s.click(5, 5);
         s.click(6, 6);
         s.click(7, 7);
         s.undo();
         s.click(8, 8);
     },
     {}},
    {"UndoEverythingThenMeasure",
     [](Student& s) {
         s.click(5, 5);
         s.undo();
         s.undo();
         s.click(8, 8);
     },
     {}},
    {"TypedLineUndoneTakesThePointWithIt",
     [](Student& s) {
         s.click(5, 5);
         s.click(6, 6);
         s.click(7, 7);
         s.type("заметка");
         s.undo();      // removes the note, the count drops to 2
         s.click(8, 8); // numbered 2 again
         s.click(9, 9);
     },
     {{4, Kind::Renumbered}}},
    {"TwoTypedLinesUndone",
     [](Student& s) {
         s.click(5, 5);
         s.click(6, 6);
         s.type("a");
         s.type("b");
         s.undo();
         s.undo();
         s.click(8, 8); // numbered 0
     },
     {{3, Kind::Renumbered}}},
    {"SamePixelTwice",
     [](Student& s) {
         s.click(5, 5);
         s.click(5, 5);
     },
     {{2, Kind::DuplicatePoint}}},
};

class SessionTable : public testing::TestWithParam<SessionRow> {};

TEST_P(SessionTable, NoErrors)
{
    Student s;
    GetParam().play(s);
    const FileReport r = checkBytes("p.txt", s.text(), {});
    EXPECT_EQ(kindsOf(r), GetParam().findings) << s.text();
    EXPECT_EQ(r.count(Severity::Error), 0u);
}

INSTANTIATE_TEST_SUITE_P(Check, SessionTable, testing::ValuesIn(kSessionRows), test::RowName());

TEST(Check, WrongPotentialNamesTheModel)
{
    const FileReport r = checkBytes("p.txt", replaceOnce(kProtocol, "phi=6.300", "phi=6.400"), {});
    ASSERT_EQ(r.findings.size(), 1u);
    const Finding& f = r.findings[0];
    EXPECT_NE(f.message.find("the model gives 6.300"), std::string::npos) << f.message;
    ASSERT_TRUE(f.model && f.modelV);
    EXPECT_TRUE(f.model->contains(*f.modelV));
    EXPECT_LT(f.model->hi - f.model->lo, 0.001L);
    EXPECT_EQ(r.ok, 7u);
    EXPECT_EQ(r.wrong, 1u);
}

// ---- Junk: a clear message, nothing else ----

class TempDir : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        const auto dir = std::filesystem::temp_directory_path() / ("potencor-check-" + std::to_string(random()));
        ASSERT_TRUE(std::filesystem::create_directory(dir));
        dir_ = dir.generic_string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string write(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string dir_;
};

using Junk = TempDir;

long maxRssKb()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS m{};
    GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof m);
    return static_cast<long>(m.PeakWorkingSetSize / 1024);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
#endif
}

TEST_F(Junk, SparseGigabyteIsRefusedUnread)
{
    const std::string path = write("huge.txt", "");
    std::filesystem::resize_file(path, 1ull << 30); // sparse, like truncate -s 1G
    const long before = maxRssKb();
    const FileReport r = checkFile(path, {});
    ASSERT_TRUE(r.readError);
    EXPECT_EQ(*r.readError, "1.0 GB: too large for a protocol (the limit is 50 MB)");
    EXPECT_LT(maxRssKb() - before, 20 * 1024);
}

TEST_F(Junk, LimitHoldsWhateverTheSizeSays)
{
    // A character device reports no size; it is read only to the limit.
#ifdef _WIN32
    GTEST_SKIP() << "no endless device to read on Windows";
#endif
    const FileReport r = checkFile("/dev/zero", {std::nullopt, 1 << 20});
    ASSERT_TRUE(r.readError);
    EXPECT_EQ(*r.readError, "too large for a protocol (the limit is 1 MB)");
}

struct JunkRow {
    const char* name;
    std::string bytes;
    std::optional<text::Encoding> forced;
    const char* error;
    friend void PrintTo(const JunkRow& r, std::ostream* os) { *os << r.name; }
};

const JunkRow kJunkRows[] = {
    {"Binary", std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10), std::nullopt, "binary data at byte 0, not a text file"},
    {"NulInText", std::string("0: x=1\0", 7), std::nullopt, "binary data at byte 6, not a text file"},
    {"Utf16WithoutMark", std::string("0\0:\0", 4), std::nullopt, "binary data at byte 1, not a text file"},
    {"ForcedAsciiOnAnsi", "0: x=1.000\xF1\xEC", text::Encoding::Ascii, "not valid ASCII at byte 10"},
    {"ForcedUtf8OnAnsi", "0: x=1.000\xF1\xEC", text::Encoding::Utf8, "not valid UTF-8 at byte 10"},
    {"TruncatedUtf16", std::string("\xFF\xFE" "0\0:", 5), std::nullopt, "not valid Unicode at byte 4"},
};

class JunkTable : public TempDir, public testing::WithParamInterface<JunkRow> {};

TEST_P(JunkTable, ClearMessage)
{
    const JunkRow& r = GetParam();
    const FileReport report = checkFile(write("j.txt", r.bytes), {r.forced});
    ASSERT_TRUE(report.readError);
    EXPECT_EQ(*report.readError, r.error);
    EXPECT_EQ(status(report), "unreadable");
}

INSTANTIATE_TEST_SUITE_P(Check, JunkTable, testing::ValuesIn(kJunkRows), test::RowName());

TEST(Check, ListOfFindingsStopsCountsGoOn)
{
    std::string text = kProtocol;
    for (int i = 0; i < 3000; ++i)
        text += "junk\r\n";
    const FileReport r = checkBytes("p.txt", text, {});
    EXPECT_EQ(r.findings.size(), kMaxFindings);
    EXPECT_EQ(r.unlisted, 2000u);
    EXPECT_EQ(r.count(Severity::Warning), 3000u);
    EXPECT_EQ(r.other, 3000u);
    EXPECT_EQ(r.ok, 8u);
}

TEST_F(Junk, MissingFileAndDirectory)
{
    EXPECT_EQ(checkFile(dir_ + "/none.txt", {}).readError, "No such file or directory");
    EXPECT_EQ(checkFile(dir_, {}).readError, "is a directory");
}

// ---- Reports ----

TEST(Report, WorstFirst)
{
    std::vector<FileReport> v;
    v.push_back(checkBytes("b-ok.txt", kProtocol, {}));
    v.push_back(checkBytes("c-one-error.txt", replaceOnce(kProtocol, "phi=6.300", "phi=6.400"), {}));
    v.push_back(checkBytes("a-warning.txt", "x\r\n" + kProtocol, {}));
    FileReport unreadable;
    unreadable.path = "z.txt";
    unreadable.readError = "is a directory";
    v.push_back(unreadable);
    v.push_back(checkBytes("d-two-errors.txt", replaceOnce(replaceOnce(kProtocol, "phi=6.300", "phi=6.400"), "phi=12.600", "phi=1.600"), {}));
    std::vector<std::string> order;
    for (const FileReport* r : worstFirst(v))
        order.push_back(r->path);
    EXPECT_EQ(order, (std::vector<std::string>{"z.txt", "d-two-errors.txt", "c-one-error.txt", "a-warning.txt",
                                               "b-ok.txt"}));
}

TEST(Report, TextSummaryLine)
{
    std::ostringstream out;
    writeTextFile(out, checkBytes("p.txt", "Иванов\r\n" + replaceOnce(kProtocol, "phi=6.300", "phi=6.400"), {}), false);
    EXPECT_EQ(out.str(),
              "p.txt:1: warning: free text: text typed by hand\n"
              "    Иванов\n"
              "p.txt:2: error: wrong potential: phi=6.400, the model gives 6.300 (6.2998 to 6.3002 V over the "
              "printed point's rounding)\n"
              "    " + replaceOnce(line(1), "phi=6.300", "phi=6.400") + "\n"
              "p.txt: errors: 9 lines, 7 ok, 1 wrong, 0 malformed, 1 other (UTF-8)\n");
}

TEST(Report, CsvQuotesAndJsonEscapes)
{
    std::vector<FileReport> v{checkBytes("a,\"b\".txt", "say \"hi\", \\ \t\r\n" + kProtocol, {})};
    std::ostringstream csv, json;
    writeCsv(csv, v);
    writeJson(json, v);
    EXPECT_NE(csv.str().find("\"a,\"\"b\"\".txt\",1,warning,free text,text typed by hand,\"say \"\"hi\"\", \\ \t\",,\r\n"),
              std::string::npos)
        << csv.str();
    EXPECT_NE(json.str().find("\"path\": \"a,\\\"b\\\".txt\""), std::string::npos) << json.str();
    EXPECT_NE(json.str().find("\"text\": \"say \\\"hi\\\", \\\\ \\t\""), std::string::npos) << json.str();
}

TEST(Report, CsvForADecimalComma)
{
    std::vector<FileReport> v{checkBytes("p;1.txt", replaceOnce(kProtocol, "phi=6.300", "phi=6.400"), {})};
    std::ostringstream csv;
    writeCsv(csv, v, kCsvSemicolons);
    const std::string s = csv.str();
    EXPECT_TRUE(s.starts_with("\xEF\xBB\xBF" "file;line;severity;kind;message;text;model_min_V;model_max_V\r\n")) << s;
    // The message keeps its own full stops and commas; the numbers get a decimal comma.
    const std::string head = "\"p;1.txt\";1;error;wrong potential;phi=6.400, the model gives 6.300 (6.2998 to "
                             "6.3002 V over the printed point's rounding);0: x=21.425см y=";
    const std::size_t at = s.find(head);
    ASSERT_NE(at, std::string::npos) << s;
    const std::string rest = s.substr(at + head.size(), s.find("\r\n", at) - at - head.size());
    const std::string middle = "см phi=6.400 В;";
    const std::size_t cm = rest.find(middle);
    ASSERT_NE(cm, std::string::npos) << rest;
    EXPECT_EQ(rest.find_first_not_of("0123456789."), cm) << rest; // y as printed
    const std::string bounds = rest.substr(cm + middle.size());
    const std::size_t semi = bounds.find(';');
    ASSERT_NE(semi, std::string::npos) << bounds;
    const std::string lo = bounds.substr(0, semi), hi = bounds.substr(semi + 1);
    EXPECT_TRUE(lo.starts_with("6,299") && lo.size() > 5 && lo.find_first_not_of("0123456789", 2) == std::string::npos) << lo;
    EXPECT_TRUE(hi.starts_with("6,300") && hi.size() > 5 && hi.find_first_not_of("0123456789", 2) == std::string::npos) << hi;
    EXPECT_NE(s.find("\"p;1.txt\";;;summary;errors: 8 lines, 7 ok, 1 wrong, 0 malformed, 0 other;;;\r\n"),
              std::string::npos)
        << s;
}

// Whatever a file name or a line holds, the terminal gets printable text and
// line feeds, nothing it would act on.
TEST(Report, TextReachesTheTerminalInert)
{
    const std::string line = "\xC2\x9B" "2J\xC2\x9D" "52;c;eA==\xC2\x9C \xE2\x80\xAE" "ok";
    std::vector<FileReport> v{checkBytes("\x1b]0;x\x07\xFF.txt", line + "\r\n" + kProtocol, {}),
                              checkBytes("b.txt", kProtocol, {})};
    std::ostringstream out;
    for (const FileReport& r : v)
        writeTextFile(out, r, false);
    writeTextTable(out, v, false);
    const std::string s = out.str();
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        ASSERT_TRUE(b >= 0x20 || b == '\n') << "byte " << int(b) << " at " << i << " in\n" << s;
        ASSERT_FALSE(b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0) << s;
        ASSERT_NE(b, 0xFF) << s;
    }
    EXPECT_NE(s.find("\\x1b]0;x\\x07\\xff.txt:1: warning: free text: text typed by hand\n"
                     "    \\u009b2J\\u009d52;c;eA==\\u009c \\u202eok\n"),
              std::string::npos)
        << s;
}

} // namespace
} // namespace potencor::check
