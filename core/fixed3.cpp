#include "core/fixed3.h"

#include "core/utf8.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace potencor {
namespace {

constexpr int kSignificant = 18; // first rounding, ties to even
constexpr int kMaxDigits = 8;    // cap of the displayed significant digits
constexpr int kDecimals = 3;

} // namespace

std::string fixed3(long double value, char32_t decimalSeparator)
{
    const std::string sep = utf8::encode(decimalSeparator);
    if (!std::isfinite(value))
        return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");

    const bool negative = std::signbit(value);
    // 1. 18 significant digits, rounded to nearest with ties to even by the C
    // library's exact decimal conversion.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", kSignificant - 1, std::fabs(value));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += *p;
    int E = std::atoi(p + 1) + 1; // digits before the decimal point
    if (digits.find_first_not_of('0') == std::string::npos) {
        digits.assign(1, '0');
        E = 1;
    } else {
        // 2. Cut to min(E+3, 8) digits, half away from zero.
        const int n = std::min(E + kDecimals, kMaxDigits);
        if (n < 0) {
            digits.assign(1, '0');
            E = 1;
        } else {
            const bool roundUp = static_cast<std::size_t>(n) < digits.size() && digits[n] >= '5';
            digits.resize(n);
            if (roundUp) {
                int i = n - 1;
                for (; i >= 0 && digits[i] == '9'; --i)
                    digits[i] = '0';
                if (i >= 0) {
                    ++digits[i];
                } else {
                    digits.insert(digits.begin(), '1');
                    ++E;
                }
            }
            if (digits.empty() || digits.find_first_not_of('0') == std::string::npos) {
                digits.assign(1, '0');
                E = 1;
            }
        }
    }
    const bool isZero = digits == "0";

    std::string out;
    if (negative && !isZero)
        out += '-';
    if (E > kMaxDigits) {
        // 3. Exponent form: d[.ddd]E[-]xxx
        std::string rest = digits.substr(1);
        while (!rest.empty() && rest.back() == '0')
            rest.pop_back();
        out += digits[0];
        if (!rest.empty())
            out += sep + rest;
        out += 'E';
        int exponent = E - 1;
        if (exponent < 0) {
            out += '-';
            exponent = -exponent;
        }
        char ebuf[16];
        std::snprintf(ebuf, sizeof ebuf, "%03d", exponent);
        return out + ebuf;
    }
    // 4. Fixed point: integer digits (or "0"), separator, three decimals.
    if (isZero)
        return out + "0" + sep + "000";
    std::string intPart, fracPart;
    if (E <= 0) {
        intPart = "0";
        fracPart = std::string(static_cast<std::size_t>(-E), '0') + digits;
    } else {
        const std::string padded = digits.size() < static_cast<std::size_t>(E)
            ? digits + std::string(E - digits.size(), '0')
            : digits;
        intPart = padded.substr(0, E);
        fracPart = padded.substr(E);
    }
    fracPart.resize(kDecimals, '0');
    return out + intPart + sep + fracPart;
}

} // namespace potencor
