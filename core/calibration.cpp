#include "core/calibration.h"

#include "core/error.h"
#include "core/fpcheck.h"
#include "core/platform.h"
#include "core/utf8.h"

#include <cmath>
#include <string>


namespace potencor::calibration {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || c == '\t'; }

} // namespace

long double parseFloat(std::string_view text, char32_t decimalSeparator)
{
    const std::string sep = utf8::encode(decimalSeparator);
    const auto fail = [&] { return Error(msg::notAFloat(std::string(text))); };

    // Grammar: spaces, [sign] digits [sep digits] [e [sign] digits], spaces,
    // with at least one mantissa digit. Rebuilt with '.' for strtold in the C
    // locale, whatever the process locale is.
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isSpace(text[i]))
        ++i;
    std::string plain;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            plain += '-';
        ++i;
    }
    int mantissaDigits = 0;
    while (i < n && isDigit(text[i])) {
        plain += text[i++];
        ++mantissaDigits;
    }
    if (!sep.empty() && text.substr(i, sep.size()) == sep) {
        i += sep.size();
        plain += '.';
        while (i < n && isDigit(text[i])) {
            plain += text[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        throw fail();
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            plain += text[i++];
        int expDigits = 0;
        while (i < n && isDigit(text[i])) {
            plain += text[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            throw fail();
    }
    while (i < n && isSpace(text[i]))
        ++i;
    if (i != n)
        throw fail();

    // Underflow is silent: a tiny value reads as its denormal or as zero.
    // Only overflow fails. (Not from_chars: MinGW's reads long double through
    // double.)
    const long double value = platform::strtoldC(plain.c_str());
    if (std::isinf(value))
        throw fail();
    return value;
}

std::int32_t parseInt32(std::string_view text)
{
    const auto fail = [&] { return Error(msg::notAnInteger(std::string(text))); };
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i == text.size())
        throw fail();
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            throw fail();
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > 2147483648LL)
            throw fail();
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL)
        throw fail();
    return static_cast<std::int32_t>(value);
}

Calibration load(std::string_view edit1, std::string_view edit3, std::string_view edit5,
                 std::string_view edit6, char32_t decimalSeparator)
{
    Calibration c{};
    c.mstartX = parseFloat(edit1, decimalSeparator);
    c.mstartY = parseFloat(edit3, decimalSeparator);
    c.Nx = parseInt32(edit5);
    c.Ny = parseInt32(edit6);
    return c;
}

Calibration defaults()
{
    return load(kDefaultMstartX, kDefaultMstartY, kDefaultNx, kDefaultNy, U'.');
}

long double toX1(const Calibration& c, long double dxPx)
{
    return fp::div(fp::mul(fp::add(dxPx, c.mstartX), kSpanXcm), static_cast<long double>(c.Nx));
}

long double toY1(const Calibration& c, long double dyPx)
{
    return fp::div(fp::mul(fp::sub(kChartHeightPx, fp::add(dyPx, c.mstartY)), kSpanYcm),
                   static_cast<long double>(c.Ny));
}

long double toX1(const Calibration& c, std::int32_t cursorX, std::int32_t windowLeft)
{
    return toX1(c, static_cast<long double>(fp::subChecked(cursorX, windowLeft)));
}

long double toY1(const Calibration& c, std::int32_t cursorY, std::int32_t windowTop)
{
    return toY1(c, static_cast<long double>(fp::subChecked(cursorY, windowTop)));
}

long double snap(long double cm)
{
    return fp::mul(fp::roundEven(fp::div(cm, kSnapStepCm)), kSnapStepCm);
}

long double toDxPx(const Calibration& c, long double X1_cm)
{
    return X1_cm * c.Nx / kSpanXcm - c.mstartX;
}

long double toDyPx(const Calibration& c, long double Y1_cm)
{
    return kChartHeightPx - c.mstartY - Y1_cm * c.Ny / kSpanYcm;
}

namespace {

PlaneCm snapped(PlaneCm p, bool snapToGrid)
{
    if (snapToGrid) {
        p.X1 = snap(p.X1);
        p.Y1 = snap(p.Y1);
    }
    return p;
}

} // namespace

PlaneCm convert(const Calibration& c, long double dxPx, long double dyPx, bool snapToGrid)
{
    return snapped({toX1(c, dxPx), toY1(c, dyPx)}, snapToGrid);
}

PlaneCm convert(const Calibration& c, std::int32_t cursorX, std::int32_t cursorY,
                std::int32_t windowLeft, std::int32_t windowTop, bool snapToGrid)
{
    return snapped({toX1(c, cursorX, windowLeft), toY1(c, cursorY, windowTop)}, snapToGrid);
}

ChartMapping chartMapping(const Calibration& c)
{
    // The inverse conversion, moved from the window's outer corner to the
    // chart's: the client area's origin, one frame inside the window.
    ChartMapping m{};
    m.x0Px = static_cast<double>(toDxPx(c, 0) - kFrameLeftPx);
    m.y0Px = static_cast<double>(toDyPx(c, 0) - kFrameTopPx);
    m.pxPerCmX = static_cast<double>(toDxPx(c, 1) - toDxPx(c, 0));
    m.pxPerCmY = static_cast<double>(toDyPx(c, 0) - toDyPx(c, 1));
    return m;
}

} // namespace potencor::calibration
