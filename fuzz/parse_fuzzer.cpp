// The calibration's text parsing and the protocol's line format on
// arbitrary bytes. Besides the sanitizers' checks: the only exceptions allowed
// are the program's Error with the conversion messages quoting the input text
// exactly, and each operation keeps the invariants checked below.
//
// Input: the first byte picks the operation (byte % 7, in the order of the
// switch at the end; 5 and 6 both format a measurement line, so that the
// committed corpus keeps its meaning);
// the rest feeds it through FuzzedDataProvider, which
// takes numbers from the end and cuts strings at a backslash not followed by
// another one.
#include "core/calibration.h"
#include "core/error.h"
#include "core/protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace potencor;

[[noreturn]] void fail(const std::string& what, std::string_view input)
{
    std::fprintf(stderr, "%s\ninput (%zu bytes):", what.c_str(), input.size());
    for (unsigned char c : input)
        std::fprintf(stderr, " %02x", c);
    std::fprintf(stderr, "\n");
    std::abort();
}

// what() is a C string: a text with a NUL byte shows only up to it.
bool sameMessage(const std::exception& e, std::string_view message)
{
    return std::string_view(e.what()) == message.substr(0, message.find('\0'));
}

// Runs a parse; returns its value, or nothing when it threw the expected message.
template <class F>
auto expectValueOrMessage(F parse, const std::string& message, std::string_view input)
    -> std::optional<decltype(parse())>
{
    try {
        return parse();
    } catch (const Error& e) {
        if (!sameMessage(e, message))
            fail(std::string("unexpected message: ") + e.what(), input);
    } catch (const std::exception& e) {
        fail(std::string("unexpected exception: ") + e.what(), input);
    }
    return std::nullopt;
}

std::optional<long double> parseFloat(const std::string& text, char32_t sep)
{
    return expectValueOrMessage([&] { return calibration::parseFloat(text, sep); },
                                msg::notAFloat(text), text);
}

std::optional<std::int32_t> parseInt32(const std::string& text)
{
    return expectValueOrMessage([&] { return calibration::parseInt32(text); },
                                msg::notAnInteger(text), text);
}

std::string replaceAll(std::string s, char from, char to)
{
    for (char& c : s)
        if (c == from)
            c = to;
    return s;
}

char32_t pickSeparator(FuzzedDataProvider& in)
{
    static const char32_t kSeparators[] = {U'.', U',', U'\u066B'};
    return in.PickValueInArray(kSeparators);
}

// A text accepted with one ASCII separator reads the same with the other one
// swapped in, and every value is finite.
void floatText(FuzzedDataProvider& in)
{
    const char32_t sep = pickSeparator(in);
    const std::string text = in.ConsumeRemainingBytesAsString();
    const auto value = parseFloat(text, sep);
    if (!value)
        return;
    if (!std::isfinite(*value))
        fail("parseFloat returned a non-finite value", text);
    if (sep == U'\u066B')
        return;
    const char from = sep == U'.' ? '.' : ',';
    const char to = sep == U'.' ? ',' : '.';
    if (text.find(to) != std::string::npos)
        return;
    const auto swapped = parseFloat(replaceAll(text, from, to), to == '.' ? U'.' : U',');
    if (!swapped || *swapped != *value)
        fail("the other separator reads the text differently", text);
}

// Any finite extended value written with 21 or more significant digits
// (enough for 64 mantissa bits) reads back exactly, denormals included.
void floatRoundTrip(FuzzedDataProvider& in)
{
    unsigned char bits[10];
    if (in.ConsumeData(bits, sizeof bits) != sizeof bits)
        return;
    long double v;
    std::memset(&v, 0, sizeof v);
    std::memcpy(&v, bits, sizeof bits);
    const unsigned exponent = (bits[8] | (bits[9] << 8)) & 0x7FFF;
    const bool integerBit = (bits[7] & 0x80) != 0;
    // Only what arithmetic produces: no infinities, NaNs or unnormals, and no
    // pseudo-denormals, which the C library's printf reads as true denormals.
    if (exponent == 0x7FFF || (exponent != 0) != integerBit)
        return;
    const int precision = in.ConsumeIntegralInRange(21, 40); // %g: significant digits
    static const char* const kFormats[] = {"%.*Lg", "%.*Le", "%.*LE"};
    char buf[128];
    std::snprintf(buf, sizeof buf, in.PickValueInArray(kFormats), precision, v);
    std::string text = buf;
    if (in.ConsumeBool())
        text.insert(0, in.PickValueInArray({" ", "\t", "  \t"}));
    if (in.ConsumeBool())
        text += in.PickValueInArray({" ", "\t", " \t "});
    const char32_t sep = in.ConsumeBool() ? U',' : U'.';
    if (sep == U',')
        text = replaceAll(text, '.', ',');
    const auto back = parseFloat(text, sep);
    if (!back)
        fail("a rendered value was refused: " + text, text);
    if (*back != v)
        fail("a rendered value read back differently: " + text, text);
}

// Independent of the parser: whether an optionally signed digit string lies
// in the 32-bit range, by comparing digit strings.
bool decimalFitsInt32(std::string_view text)
{
    const bool negative = !text.empty() && text[0] == '-';
    if (negative || (!text.empty() && text[0] == '+'))
        text.remove_prefix(1);
    while (text.size() > 1 && text[0] == '0')
        text.remove_prefix(1);
    const std::string_view limit = negative ? "2147483648" : "2147483647";
    return text.size() < limit.size() || (text.size() == limit.size() && text <= limit);
}

bool isSignedDigits(std::string_view text)
{
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

void intText(FuzzedDataProvider& in)
{
    const std::string text = in.ConsumeRemainingBytesAsString();
    const auto value = parseInt32(text);
    if (isSignedDigits(text) && value.has_value() != decimalFitsInt32(text))
        fail("32-bit range decided wrongly", text);
    if (!value)
        return;
    // strtoll skips more kinds of white space than the parser accepts, so it
    // can only confirm accepted texts.
    errno = 0;
    char* end = nullptr;
    const long long expected = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || expected != *value)
        fail("accepted integer text disagrees with strtoll", text);
}

// Every 32-bit integer written in decimal, with optional padding, plus sign and
// leading zeros, reads back as itself.
void intRoundTrip(FuzzedDataProvider& in)
{
    const auto v = in.ConsumeIntegral<std::int32_t>();
    std::string digits = std::to_string(v);
    std::string sign;
    if (v < 0) {
        sign = "-";
        digits.erase(0, 1);
    } else if (in.ConsumeBool()) {
        sign = "+";
    }
    const std::string text = std::string(in.ConsumeIntegralInRange(0, 3), ' ') + sign
        + std::string(in.ConsumeIntegralInRange(0, 12), '0') + digits;
    const auto back = parseInt32(text);
    if (!back || *back != v)
        fail("a rendered integer did not read back", text);
}

// load reads the four fields in order: it returns what the single parses
// return, or fails with the message of the first field that does not parse.
void loadFields(FuzzedDataProvider& in)
{
    const char32_t sep = pickSeparator(in);
    std::string f[4];
    for (std::string& s : f)
        s = in.ConsumeRandomLengthString(64);
    std::string expectedMessage;
    const auto x = parseFloat(f[0], sep);
    const auto y = x ? parseFloat(f[1], sep) : std::nullopt;
    const auto nx = x && y ? parseInt32(f[2]) : std::nullopt;
    const auto ny = x && y && nx ? parseInt32(f[3]) : std::nullopt;
    if (!x)
        expectedMessage = msg::notAFloat(f[0]);
    else if (!y)
        expectedMessage = msg::notAFloat(f[1]);
    else if (!nx)
        expectedMessage = msg::notAnInteger(f[2]);
    else if (!ny)
        expectedMessage = msg::notAnInteger(f[3]);
    const std::string all = f[0] + '|' + f[1] + '|' + f[2] + '|' + f[3];
    try {
        const calibration::Calibration c = calibration::load(f[0], f[1], f[2], f[3], sep);
        if (!expectedMessage.empty())
            fail("load accepted fields a single parse refuses", all);
        if (c.mstartX != *x || c.mstartY != *y || c.Nx != *nx || c.Ny != *ny)
            fail("load disagrees with the single parses", all);
    } catch (const Error& e) {
        if (expectedMessage.empty() || !sameMessage(e, expectedMessage))
            fail(std::string("load failed with: ") + e.what(), all);
    }
}

// ---- Protocol ----------------------------------------------------------------

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t len;
        char32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size())
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

long double anyValue(FuzzedDataProvider& in)
{
    unsigned char bits[10] = {};
    in.ConsumeData(bits, sizeof bits);
    const unsigned exponent = (bits[8] | (bits[9] << 8)) & 0x7FFF;
    if (exponent != 0 && exponent != 0x7FFF)
        bits[7] |= 0x80; // no unnormals
    long double v;
    std::memset(&v, 0, sizeof v);
    std::memcpy(&v, bits, sizeof bits);
    return v;
}

// A measurement's own line never contains a line end, so undo takes back
// exactly what the measurement added.
void protocolMeasurement(FuzzedDataProvider& in)
{
    const auto count = in.ConsumeIntegral<std::int32_t>();
    const char32_t sep = pickSeparator(in);
    const long double x = anyValue(in);
    const long double y = anyValue(in);
    const long double phi = anyValue(in);
    const std::string line = protocol::line(count, x, y, phi, sep);
    if (line.find_first_of("\r\n") != std::string::npos)
        fail("a protocol line contains CR or LF", line);
    if (!validUtf8(line))
        fail("a protocol line is not UTF-8", line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    FuzzedDataProvider in(data + 1, size - 1);
    switch (data[0] % 7) {
    case 0: floatText(in); break;
    case 1: floatRoundTrip(in); break;
    case 2: intText(in); break;
    case 3: intRoundTrip(in); break;
    case 4: loadFields(in); break;
    default: protocolMeasurement(in); break;
    }
    return 0;
}
