#include "core/protocol_parse.h"

#include "core/fixed3.h"
#include "core/platform.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>


namespace potencor::protocol {
namespace {

constexpr std::string_view kCm = "\xD1\x81\xD0\xBC"; // "см"
constexpr std::string_view kVolt = "\xD0\x92";       // "В"
constexpr int kMaxSignificant = 8;                   // fixed3's cap

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over the line; every step either consumes what it expects or fails.
struct Cursor {
    std::string_view s;
    std::size_t i = 0;

    bool literal(std::string_view lit)
    {
        if (s.substr(i, lit.size()) != lit)
            return false;
        i += lit.size();
        return true;
    }
};

std::optional<std::int32_t> parseNumber(Cursor& c)
{
    const bool negative = c.i < c.s.size() && c.s[c.i] == '-';
    if (negative)
        ++c.i;
    const std::size_t start = c.i;
    std::int64_t v = 0;
    while (c.i < c.s.size() && isDigit(c.s[c.i])) {
        v = v * 10 + (c.s[c.i] - '0');
        if (v > 2147483648LL)
            return std::nullopt;
        ++c.i;
    }
    const std::size_t len = c.i - start;
    // std::to_string: no leading zeros, no "-0".
    if (len == 0 || (c.s[start] == '0' && (len > 1 || negative)))
        return std::nullopt;
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// fixed3's exponent form, d[<sep>digits]E<exp>: only ever for values of nine
// or more integer digits, so the exponent is 8 or more and has no sign.
bool exponentForm(Cursor& c, bool negative, char sep, long double& value)
{
    const std::size_t start = c.i;
    auto& s = c.s;
    if (c.i >= s.size() || s[c.i] < '1' || s[c.i] > '9')
        return false;
    ++c.i;
    int mantissaDigits = 1;
    if (c.i < s.size() && s[c.i] == sep) {
        ++c.i;
        const std::size_t fracStart = c.i;
        while (c.i < s.size() && isDigit(s[c.i]))
            ++c.i, ++mantissaDigits;
        // Trailing zeros are dropped, and a separator never stands alone.
        if (c.i == fracStart || s[c.i - 1] == '0')
            return false;
    }
    if (mantissaDigits > kMaxSignificant || c.i >= s.size() || s[c.i] != 'E')
        return false;
    ++c.i;
    const std::size_t expStart = c.i;
    int exponent = 0;
    while (c.i < s.size() && isDigit(s[c.i])) {
        exponent = exponent * 10 + (s[c.i] - '0');
        if (exponent > 99999)
            return false;
        ++c.i;
    }
    const std::size_t expLen = c.i - expStart;
    // At least three digits, zero-padded to three and no further.
    if (expLen < 3 || (expLen > 3 && s[expStart] == '0') || exponent < kMaxSignificant)
        return false;
    std::string plain(negative ? "-" : "");
    for (std::size_t k = start; k < c.i; ++k)
        plain += s[k] == sep ? '.' : s[k];
    value = platform::strtoldC(plain.c_str()); // rare: a plain conversion is fast enough
    if (std::isinf(value)) {
        // fixed3 rounds the largest extended values up past the range; only
        // that text of them reads back as the largest value itself.
        value = std::copysign(std::numeric_limits<long double>::max(), value);
        std::string text(negative ? "-" : "");
        text += s.substr(start, c.i - start);
        return fixed3(value, static_cast<char32_t>(sep)) == text;
    }
    return true;
}

// Whether the text after a single leading digit is [<sep>digits]E.
bool exponentAhead(std::string_view s, std::size_t j, char sep)
{
    if (j < s.size() && s[j] == sep)
        for (++j; j < s.size() && isDigit(s[j]); ++j) {
        }
    return j < s.size() && s[j] == 'E';
}

// One number in fixed3's form with the given separator. Sets text and value.
bool parseFixed3(Cursor& c, char sep, std::string& text, long double& value)
{
    const std::size_t start = c.i;
    auto& s = c.s;
    const bool negative = c.i < s.size() && s[c.i] == '-';
    if (negative)
        ++c.i;
    const std::size_t intStart = c.i;
    std::uint64_t mantissa = 0; // the number in thousandths
    int significant = 0;       // digits from the first non-zero one
    bool nonZeroCut = false;   // a non-zero digit past the 8-digit cap
    auto digit = [&](char d) {
        mantissa = mantissa * 10 + static_cast<unsigned>(d - '0');
        if (significant > 0 || d != '0') {
            ++significant;
            if (significant > kMaxSignificant && d != '0')
                nonZeroCut = true;
        }
    };
    while (c.i < s.size() && isDigit(s[c.i])) {
        if (c.i - intStart >= kMaxSignificant) {
            // Nine or more integer digits: fixed3 switches to exponent form.
            c.i = intStart;
            if (!exponentForm(c, negative, sep, value))
                return false;
            text.assign(s.substr(start, c.i - start));
            return true;
        }
        digit(s[c.i++]);
    }
    const std::size_t intLen = c.i - intStart;
    if (intLen == 0 || (intLen > 1 && s[intStart] == '0'))
        return false;
    if (intLen == 1 && s[intStart] != '0' && exponentAhead(s, c.i, sep)) {
        c.i = intStart;
        if (!exponentForm(c, negative, sep, value))
            return false;
        text.assign(s.substr(start, c.i - start));
        return true;
    }
    if (c.i >= s.size() || s[c.i] != sep)
        return false;
    ++c.i;
    if (c.i + 3 > s.size())
        return false;
    for (int k = 0; k < 3; ++k, ++c.i) {
        if (!isDigit(s[c.i]))
            return false;
        digit(s[c.i]);
    }
    // More than 8 significant digits print as zeros; a rounded zero has no minus.
    if (nonZeroCut || (negative && mantissa == 0))
        return false;
    // Both operands are exact and the quotient is rounded once: the nearest
    // extended value to the decimal text.
    value = static_cast<long double>(mantissa) / 1000.0L;
    if (negative)
        value = -value;
    text.assign(s.substr(start, c.i - start));
    return true;
}

} // namespace

std::optional<ParsedLine> parseLine(std::string_view utf8Line)
{
    Cursor c{utf8Line};
    ParsedLine p{};
    const auto number = parseNumber(c);
    if (!number || !c.literal(": x="))
        return std::nullopt;
    p.number = *number;

    // The separator is whatever follows the first number's integer digits.
    std::size_t k = c.i;
    if (k < utf8Line.size() && utf8Line[k] == '-')
        ++k;
    while (k < utf8Line.size() && isDigit(utf8Line[k]))
        ++k;
    if (k >= utf8Line.size())
        return std::nullopt;
    char sep = utf8Line[k];
    if (sep == 'E') {
        // Exponent form in x: find the separator later on (or default).
        sep = '.';
        for (std::size_t j = k; j < utf8Line.size(); ++j)
            if (utf8Line[j] == '.' || utf8Line[j] == ',') {
                sep = utf8Line[j];
                break;
            }
    }
    if (sep != '.' && sep != ',')
        return std::nullopt;
    p.separator = static_cast<char32_t>(sep);

    if (!parseFixed3(c, sep, p.x, p.X1_cm))
        return std::nullopt;
    // The units decide exactness once; the rest of the line must agree.
    if (c.literal(kCm))
        p.exact = true;
    else if (c.literal("??"))
        p.exact = false;
    else
        return std::nullopt;
    const std::string_view cm = p.exact ? kCm : std::string_view("??");
    const std::string_view volt = p.exact ? kVolt : std::string_view("?");
    if (!c.literal(" y=") || !parseFixed3(c, sep, p.y, p.Y1_cm) || !c.literal(cm)
        || !c.literal(" phi=") || !parseFixed3(c, sep, p.phi, p.phi_V) || !c.literal(" ")
        || !c.literal(volt) || c.i != utf8Line.size())
        return std::nullopt;
    return p;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    forEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

} // namespace potencor::protocol
