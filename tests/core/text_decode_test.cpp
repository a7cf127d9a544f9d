#include "core/text_decode.h"

#include "core/platform.h"
#include "tests/core/table.h"

#include <ostream>
#include <string>
#include <utility>

#ifndef _WIN32
#include <iconv.h>
#endif

namespace potencor::text {
namespace {

using namespace std::string_literals;

// One protocol line, as the save dialog's encodings write it.
const std::string kLine = "0: x=21.425см y=15.000см phi=6.300 В\r\n";
const std::string kLineAnsi = "0: x=21.425\xF1\xEC y=15.000\xF1\xEC phi=6.300 \xC2\r\n";
const std::string kLineAscii = "0: x=21.425?? y=15.000?? phi=6.300 ?\r\n";
const std::string kLineUtf7 = "0: x+AD0-21.425+BEEEPA y+AD0-15.000+BEEEPA phi+AD0-6.300 +BBI\r\n";

std::string utf16(const std::string& ascii, bool bigEndian)
{
    std::string out;
    for (const char c : ascii) {
        if (bigEndian)
            out += '\0';
        out += c;
        if (!bigEndian)
            out += '\0';
    }
    return out;
}

// "0: В" in UTF-16, both byte orders.
const std::string kUtf16LE = "\xFF\xFE"s + utf16("0: ", false) + "\x12\x04"s;
const std::string kUtf16BE = "\xFE\xFF"s + utf16("0: ", true) + "\x04\x12"s;

struct AutoRow {
    const char* name;
    std::string bytes;
    Encoding encoding;
    DecodeError error;
    std::string utf8; // when error is None
    std::size_t errorOffset = 0;
    friend void PrintTo(const AutoRow& r, std::ostream* os) { *os << r.name; }
};

const AutoRow kAutoRows[] = {
    {"Utf8WithMark", "\xEF\xBB\xBF" + kLine, Encoding::Utf8, DecodeError::None, kLine},
    {"Utf8WithoutMark", kLine, Encoding::Utf8, DecodeError::None, kLine},
    {"Ansi", kLineAnsi, Encoding::Ansi, DecodeError::None, kLine},
    {"AnsiTypographicQuotes", "\x93\xCF\xF0\xE8\xE2\xE5\xF2\x94", Encoding::Ansi, DecodeError::None,
     "“Привет”"},
    {"AsciiReadsAsUtf8", kLineAscii, Encoding::Utf8, DecodeError::None, kLineAscii},
    {"Utf7WithoutMark", kLineUtf7, Encoding::Utf7, DecodeError::None, kLine},
    {"PlusSignsAreNotUtf7", "C++ 2+2=4 a+b-c\r\n", Encoding::Utf8, DecodeError::None, "C++ 2+2=4 a+b-c\r\n"},
    {"Utf7OfAsciiOnlyStaysUtf8", "+AEE-", Encoding::Utf8, DecodeError::None, "+AEE-"},
    {"UnicodeMark", kUtf16LE, Encoding::Unicode, DecodeError::None, "0: В"},
    {"BigEndianMark", kUtf16BE, Encoding::BigEndianUnicode, DecodeError::None, "0: В"},
    {"MarkAlone", "\xEF\xBB\xBF", Encoding::Utf8, DecodeError::None, ""},
    {"Empty", "", Encoding::Utf8, DecodeError::None, ""},
    {"TabAndFormFeedAreText", "a\tb\fc\rd\n", Encoding::Utf8, DecodeError::None, "a\tb\fc\rd\n"},
    {"Nul", "0: x\0y"s, Encoding::Utf8, DecodeError::Binary, "", 4},
    {"ControlByte", "ab\x01", Encoding::Utf8, DecodeError::Binary, "", 2},
    {"Escape", "\x1B[31m", Encoding::Utf8, DecodeError::Binary, "", 0},
    {"ControlByteInAnsi", "\xF1\xEC\x02", Encoding::Utf8, DecodeError::Binary, "", 2},
    {"Utf16WithoutMarkIsBinary", utf16("0: x=1", false), Encoding::Utf8, DecodeError::Binary, "", 1},
    {"PngHeader", "\x89PNG\r\n\x1A\n"s, Encoding::Utf8, DecodeError::Binary, "", 6},
    {"NulInsideUtf16", "\xFF\xFE"s + utf16("ab", false) + "\0\0"s, Encoding::Unicode, DecodeError::Binary,
     "", 6},
    {"OddLengthUtf16", kUtf16LE + "x", Encoding::Unicode, DecodeError::Malformed, "", 10},
    {"UnpairedSurrogate", "\xFF\xFE" "a\0\x00\xD8" "b\0"s, Encoding::Unicode, DecodeError::Malformed, "", 4},
    {"InvalidUtf8AfterMark", "\xEF\xBB\xBF" "ab\xC0\xAF", Encoding::Utf8, DecodeError::Malformed, "", 5},
    {"UndefinedAnsiByte", "\xF1\x98", Encoding::Ansi, DecodeError::Malformed, "", 1},
    {"LoneLowSurrogate", "\xFF\xFE" "a\0\x00\xDC"s, Encoding::Unicode, DecodeError::Malformed, "", 4},
    {"HighSurrogateAtTheEnd", "\xFE\xFF" "\0a\xD8\x00"s, Encoding::BigEndianUnicode, DecodeError::Malformed, "",
     4},
};

// Forced UTF-7 that is not: where glibc's iconv refuses it too, and where it
// lets a run end early at the end of the input. A fault in a shifted run is
// reported at the '+' that began it.
struct Utf7Row {
    const char* name;
    std::string bytes;
    std::size_t errorOffset;
    friend void PrintTo(const Utf7Row& r, std::ostream* os) { *os << r.name; }
};

const Utf7Row kBadUtf7Rows[] = {
    {"SpareBitsNotZero", "ab+BEF-", 2},
    {"TwelveSpareBits", "+BE-", 0},
    {"EightSpareBits", "x+BEEE-", 1},
    {"DigitPastTheCharacter", "+BEEEQQB-", 0},
    {"Backslash", "a\\b", 1},
    {"Tilde", "a~b", 1},
    {"FormFeed", "a\fb", 1},
    {"EightBitByte", "a\x80", 1},
    {"EightBitByteAfterRun", "+BEE\x80", 4},
    {"PlusAtTheEnd", "a+", 1},
    {"PlusBeforeText", "a+!", 1},
    {"LoneLowSurrogate", "+3AA-", 0},
    {"HighSurrogateAlone", "1+2D0-", 1},
    // iconv takes these, its spare bits unchecked at the end.
    {"SpareBitsAtTheEnd", "+BEF", 0},
    {"HalfACharacterAtTheEnd", "+BE", 0},
};

class BadUtf7Table : public testing::TestWithParam<Utf7Row> {};

TEST_P(BadUtf7Table, IsMalformed)
{
    const Utf7Row& r = GetParam();
    const Decoded d = decode(r.bytes, Encoding::Utf7);
    EXPECT_EQ(d.error, DecodeError::Malformed) << d.utf8;
    EXPECT_EQ(d.errorOffset, r.errorOffset);
}

INSTANTIATE_TEST_SUITE_P(TextDecode, BadUtf7Table, testing::ValuesIn(kBadUtf7Rows), test::RowName());

class AutoTable : public testing::TestWithParam<AutoRow> {};

TEST_P(AutoTable, Detects)
{
    const AutoRow& r = GetParam();
    const Decoded d = decode(r.bytes);
    EXPECT_EQ(d.encoding, r.encoding) << encodingName(d.encoding);
    EXPECT_EQ(d.error, r.error);
    if (r.error == DecodeError::None) {
        EXPECT_EQ(d.utf8, r.utf8);
    } else {
        EXPECT_EQ(d.errorOffset, r.errorOffset);
    }
}

INSTANTIATE_TEST_SUITE_P(TextDecode, AutoTable, testing::ValuesIn(kAutoRows), test::RowName());

struct ForcedRow {
    const char* name;
    std::string bytes;
    Encoding forced;
    DecodeError error;
    std::string utf8;
    friend void PrintTo(const ForcedRow& r, std::ostream* os) { *os << r.name; }
};

const ForcedRow kForcedRows[] = {
    {"Utf8MarkSkipped", "\xEF\xBB\xBF" + kLine, Encoding::Utf8, DecodeError::None, kLine},
    {"UnicodeMarkSkipped", kUtf16LE, Encoding::Unicode, DecodeError::None, "0: В"},
    {"UnicodeWithoutMark", kUtf16LE.substr(2), Encoding::Unicode, DecodeError::None, "0: В"},
    {"BigEndianWithoutMark", kUtf16BE.substr(2), Encoding::BigEndianUnicode, DecodeError::None, "0: В"},
    {"Utf7", kLineUtf7, Encoding::Utf7, DecodeError::None, kLine},
    {"AsciiKeepsQuestionMarks", kLineAscii, Encoding::Ascii, DecodeError::None, kLineAscii},
    {"AsciiRefusesHighBytes", kLineAnsi, Encoding::Ascii, DecodeError::Malformed, ""},
    {"Utf8RefusesAnsi", kLineAnsi, Encoding::Utf8, DecodeError::Malformed, ""},
    {"AnsiReadsUtf8AsMojibake", "\xD1\x81", Encoding::Ansi, DecodeError::None, "СЃ"},
    {"Utf8MarkIsTextInAnsi", "\xEF\xBB\xBF", Encoding::Ansi, DecodeError::None, "п»ї"},
    {"ForcedStillRefusesBinary", "a\0b"s, Encoding::Ansi, DecodeError::Binary, ""},
    // Every byte but 0x98 is assigned in Windows-1251, C1's range included.
    {"AnsiUpperHalf", "\x80\x81\x82\x99\xB9\xFF", Encoding::Ansi, DecodeError::None, "ЂЃ‚™№я"},
    {"Utf16NoncharacterIsText", "\xFF\xFF"s + "a\0"s, Encoding::Unicode, DecodeError::None, "\uFFFFa"},
    {"Utf16SurrogatePair", "\x3D\xD8\x00\xDC"s, Encoding::Unicode, DecodeError::None, "\U0001F400"},
    // UTF-7, the values glibc's iconv gives where it is strict.
    {"Utf7PlusSign", "1+-1", Encoding::Utf7, DecodeError::None, "1+1"},
    {"Utf7RunEndedByText", "+BEE!", Encoding::Utf7, DecodeError::None, "с!"},
    {"Utf7RunToTheEnd", "+BEEEQQ", Encoding::Utf7, DecodeError::None, "сс"},
    {"Utf7SurrogatePair", "+2D3cAA-", Encoding::Utf7, DecodeError::None, "\U0001F400"},
    {"Utf7Mark", "+/v8-", Encoding::Utf7, DecodeError::None, "\uFEFF"},
};

class ForcedTable : public testing::TestWithParam<ForcedRow> {};

TEST_P(ForcedTable, Decodes)
{
    const ForcedRow& r = GetParam();
    const Decoded d = decode(r.bytes, r.forced);
    EXPECT_EQ(d.encoding, r.forced);
    EXPECT_EQ(d.error, r.error);
    if (r.error == DecodeError::None) {
        EXPECT_EQ(d.utf8, r.utf8);
    }
}

INSTANTIATE_TEST_SUITE_P(TextDecode, ForcedTable, testing::ValuesIn(kForcedRows), test::RowName());

#ifndef _WIN32
// Windows-1251 goes through a table of what iconv makes of each byte: for
// every byte, and a text of them all, it gives what iconv itself gives, and
// an unassigned byte stops it where iconv stops, with what came before.
TEST(TextDecode, Windows1251IsIconvsWindows1251)
{
    const auto viaIconv = [](const std::string& in) {
        const iconv_t cd = iconv_open("UTF-8", "WINDOWS-1251");
        std::string out(in.size() * 4, '\0');
        char* ip = const_cast<char*>(in.data());
        char* op = out.data();
        std::size_t il = in.size(), ol = out.size();
        const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1);
        iconv_close(cd);
        out.resize(out.size() - ol);
        return std::make_pair(ok, out);
    };
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const auto [ok, expected] = viaIconv(one);
        const platform::Converted got = platform::toUtf8(platform::Charset::Windows1251, one);
        EXPECT_EQ(got.ok, ok) << "byte " << b;
        EXPECT_EQ(got.utf8, expected) << "byte " << b;
        if (ok)
            all += one;
    }
    ASSERT_EQ(all.size(), 255u) << "only 0x98 is unassigned";
    EXPECT_EQ(platform::toUtf8(platform::Charset::Windows1251, all).utf8, viaIconv(all).second);
    const platform::Converted stopped = platform::toUtf8(platform::Charset::Windows1251, all.substr(0, 200) + "\x98" + all);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.errorOffset, 200u);
    EXPECT_EQ(stopped.utf8, viaIconv(all.substr(0, 200)).second);
}
#endif

TEST(TextDecode, Names)
{
    for (const Encoding e : {Encoding::Ansi, Encoding::Ascii, Encoding::Unicode, Encoding::BigEndianUnicode,
                             Encoding::Utf8, Encoding::Utf7})
        EXPECT_EQ(encodingFromName(encodingName(e)), e);
    EXPECT_EQ(encodingName(Encoding::BigEndianUnicode), "Big Endian Unicode");
    EXPECT_EQ(encodingFromName("big endian unicode"), Encoding::BigEndianUnicode);
    EXPECT_EQ(encodingFromName("CP1251"), Encoding::Ansi);
    EXPECT_EQ(encodingFromName("Windows-1251"), Encoding::Ansi);
    EXPECT_EQ(encodingFromName("UTF-16LE"), Encoding::Unicode);
    EXPECT_EQ(encodingFromName("utf-16be"), Encoding::BigEndianUnicode);
    EXPECT_EQ(encodingFromName("UTF8"), Encoding::Utf8);
    EXPECT_EQ(encodingFromName("utf7"), Encoding::Utf7);
    EXPECT_EQ(encodingFromName("latin1"), std::nullopt);
    EXPECT_EQ(encodingFromName(""), std::nullopt);
    EXPECT_EQ(encodingFromName("UTF-8 "), std::nullopt);
}

} // namespace
} // namespace potencor::text
