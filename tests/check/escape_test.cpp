// What a student's bytes become on a terminal, in JSON, in HTML and in a
// spreadsheet's CSV cell.
#include "check/escape.h"
#include "tests/core/table.h"

#include <gtest/gtest.h>

namespace potencor::check {
namespace {

struct EscapeRow {
    const char* name;
    std::string in;
    std::string terminal; // visible()
    std::string json;     // jsonString()
    std::string html;     // htmlText()
    friend void PrintTo(const EscapeRow& r, std::ostream* os) { *os << r.name; }
};

const EscapeRow kEscapeRows[] = {
    {"Cyrillic", "Иванов: x=1,5см", "Иванов: x=1,5см", "\"Иванов: x=1,5см\"", "Иванов: x=1,5см"},
    {"RetitleTheTerminal", "\x1b]0;pwned\x07.txt", "\\x1b]0;pwned\\x07.txt", "\"\\u001b]0;pwned\\u0007.txt\"",
     "\\x1b]0;pwned\\x07.txt"},
    {"ClearScreenAndMoveCursor", "\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H", "\"\\u001b[2J\\u001b[H\"", "\\x1b[2J\\x1b[H"},
    {"C1ControlSequenceIntroducer", "a\xC2\x9B" "31mred", "a\\u009b31mred", "\"a\\u009b31mred\"", "a\\u009b31mred"},
    {"ClipboardWriteOsc52", "\xC2\x9D" "52;c;cm0gLXJmIH4=\xC2\x9C", "\\u009d52;c;cm0gLXJmIH4=\\u009c",
     "\"\\u009d52;c;cm0gLXJmIH4=\\u009c\"", "\\u009d52;c;cm0gLXJmIH4=\\u009c"},
    {"CarriageReturnOverwrites", "ok\rwrong", "ok\\rwrong", "\"ok\\rwrong\"", "ok\\rwrong"},
    {"TabAndFormFeed", "a\tb\fc", "a\\tb\\x0cc", "\"a\\tb\\u000cc\"", "a\\tb\\x0cc"},
    {"Delete", "a\x7f", "a\\x7f", "\"a\\u007f\"", "a\\x7f"},
    {"RightToLeftOverride", "x\xE2\x80\xAEtxt.exe", "x\\u202etxt.exe", "\"x\\u202etxt.exe\"", "x\\u202etxt.exe"},
    {"LineSeparator", "a\xE2\x80\xA8" "b", "a\\u2028b", "\"a\\u2028b\"", "a\\u2028b"},
    {"InvalidUtf8", "\xFF\xC3(\xED\xA0\x80", "\\xff\\xc3(\\xed\\xa0\\x80",
     "\"\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"", "\\xff\\xc3(\\xed\\xa0\\x80"},
    {"Markup", "<script>alert('x')</script>&\"", "<script>alert('x')</script>&\"",
     "\"<script>alert('x')</script>&\\\"\"", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;"},
    {"QuotesAndBackslash", "say \"hi\" \\", "say \"hi\" \\", "\"say \\\"hi\\\" \\\\\"", "say &quot;hi&quot; \\"},
    {"Nul", std::string("a\0b", 3), "a\\x00b", "\"a\\u0000b\"", "a\\x00b"},
};

class EscapeTable : public testing::TestWithParam<EscapeRow> {};

TEST_P(EscapeTable, EachMedium)
{
    const EscapeRow& r = GetParam();
    EXPECT_EQ(visible(r.in), r.terminal);
    EXPECT_EQ(jsonString(r.in), r.json);
    EXPECT_EQ(htmlText(r.in), r.html);
}

INSTANTIATE_TEST_SUITE_P(Escape, EscapeTable, testing::ValuesIn(kEscapeRows), test::RowName());

struct CsvRow {
    const char* name;
    std::string in;
    char separator;
    std::string cell;
    friend void PrintTo(const CsvRow& r, std::ostream* os) { *os << r.name; }
};

const CsvRow kCsvRows[] = {
    {"Plain", "ivanov.txt", ',', "ivanov.txt"},
    {"Hyperlink", "=HYPERLINK(\"x\",\"y\").txt", ',', "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\").txt\""},
    {"Plus", "+7 999", ';', "\"'+7 999\""},
    {"Minus", "-2+3+cmd|' /C calc'!A0", ';', "\"'-2+3+cmd|' /C calc'!A0\""},
    {"At", "@SUM(A1:A9)", ',', "\"'@SUM(A1:A9)\""},
    {"LeadingTab", "\t=1", ',', "\"'\t=1\""},
    {"LeadingCarriageReturn", "\r=1", ',', "\\r=1"}, // shown as text, so no formula
    {"EqualsInside", "a=1", ',', "a=1"},
    {"CommaWithCommas", "a,b", ',', "\"a,b\""},
    {"CommaWithSemicolons", "a,b", ';', "a,b"},
    {"SemicolonWithSemicolons", "a;b", ';', "\"a;b\""},
    {"EscapeSequence", "\x1b[2J", ',', "\\x1b[2J"},
    {"InvalidUtf8", "a\xFF", ';', "a\\xff"},
};

class CsvTable : public testing::TestWithParam<CsvRow> {};

TEST_P(CsvTable, Cell)
{
    EXPECT_EQ(csvText(GetParam().in, GetParam().separator), GetParam().cell);
}

INSTANTIATE_TEST_SUITE_P(Escape, CsvTable, testing::ValuesIn(kCsvRows), test::RowName());

} // namespace
} // namespace potencor::check
