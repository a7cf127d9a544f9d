// fixed3 against a reference built from the format's rules alone: the exact
// decimal expansion of the 80-bit value (GMP), 18 significant digits with ties
// to even, the cut to min(E+3, 8) digits half away from zero, then exponent or
// fixed form. Any difference aborts with the bits, the expected and the actual text.
//
// Input: byte 0 picks how the remaining bytes become a value (byte 0 % 3):
//   0  bytes 1..10 are the x87 extended pattern, little endian (any magnitude);
//   1  the same, with the biased exponent folded into 2^-48 .. 2^48, where the
//      program's numbers and all the rounding boundaries of the format live;
//   2  a decimal: byte 1 a signed count of ulps to step away from it, byte 2 a
//      signed decimal exponent, byte 3 bit 0 the sign, bytes 4.. the digits
//      ((b + 2) % 10, so ASCII digits read as themselves). The nearest extended
//      value of "0.<digits>e<exponent>" is taken, then stepped: this lands on
//      and next to the decimal ties that raw bit patterns almost never hit.
// Every value is checked with '.', ',' and a two-byte UTF-8 separator.
#include "core/fixed3.h"

#include <gmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- The value -----------------------------------------------------------

struct Extended {
    std::uint64_t mantissa = 0; // with the explicit integer bit
    int biasedExponent = 0;     // 15 bits
    bool negative = false;
};

Extended decode(const unsigned char* b)
{
    Extended x;
    for (int i = 7; i >= 0; --i)
        x.mantissa = (x.mantissa << 8) | b[i];
    const unsigned se = b[8] | (b[9] << 8);
    x.biasedExponent = static_cast<int>(se & 0x7FFF);
    x.negative = (se & 0x8000) != 0;
    return x;
}

void encode(const Extended& x, unsigned char* b)
{
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<unsigned char>(x.mantissa >> (8 * i));
    const unsigned se = static_cast<unsigned>(x.biasedExponent) | (x.negative ? 0x8000u : 0u);
    b[8] = static_cast<unsigned char>(se);
    b[9] = static_cast<unsigned char>(se >> 8);
}

long double toLongDouble(const unsigned char* b)
{
    long double v;
    std::memset(&v, 0, sizeof v);
    std::memcpy(&v, b, 10);
    return v;
}

void fromLongDouble(long double v, unsigned char* b)
{
    std::memcpy(b, &v, 10);
}

// Patterns the x87 never produces from arithmetic and treats as invalid
// operands: infinities, NaNs, pseudo-infinities/NaNs and unnormals (integer
// bit clear under a non-zero exponent). Pseudo-denormals (exponent 0, integer
// bit set) are valid and kept: their value is mantissa * 2^(1 - 16383 - 63).
bool isOrdinary(const Extended& x)
{
    if (x.biasedExponent == 0x7FFF)
        return false;
    if (x.biasedExponent != 0 && (x.mantissa >> 63) == 0)
        return false;
    return true;
}

// ---- Reference ------------------------------------------------------------

// value = 0.<digits> x 10^E, digits without leading zeros; empty digits is zero.
struct Decimal {
    std::string digits;
    int E = 0;
};

Decimal exactDecimal(const Extended& x)
{
    Decimal d;
    if (x.mantissa == 0)
        return d;
    // value = mantissa * 2^e2; for e2 < 0 that is mantissa * 5^-e2 / 10^-e2.
    const int e2 = std::max(x.biasedExponent, 1) - 16383 - 63;
    mpz_t n;
    mpz_init(n);
    mpz_import(n, 1, 1, sizeof x.mantissa, 0, 0, &x.mantissa);
    int shift = 0;
    if (e2 >= 0) {
        mpz_mul_2exp(n, n, static_cast<mp_bitcnt_t>(e2));
    } else {
        mpz_t p;
        mpz_init(p);
        mpz_ui_pow_ui(p, 5, static_cast<unsigned long>(-e2));
        mpz_mul(n, n, p);
        mpz_clear(p);
        shift = -e2;
    }
    std::vector<char> buf(mpz_sizeinbase(n, 10) + 2);
    mpz_get_str(buf.data(), 10, n);
    mpz_clear(n);
    d.digits = buf.data();
    d.E = static_cast<int>(d.digits.size()) - shift;
    return d;
}

// Adds one unit in the last place of the digit string.
void incrementLast(Decimal& d)
{
    int i = static_cast<int>(d.digits.size()) - 1;
    for (; i >= 0 && d.digits[i] == '9'; --i)
        d.digits[i] = '0';
    if (i >= 0) {
        ++d.digits[i];
    } else {
        d.digits.insert(d.digits.begin(), '1');
        ++d.E;
    }
}

bool allZero(const std::string& s, std::size_t from = 0)
{
    return s.find_first_not_of('0', from) == std::string::npos;
}

void roundToSignificantTiesEven(Decimal& d, std::size_t n)
{
    if (d.digits.size() <= n)
        return;
    const char next = d.digits[n];
    const bool exactHalf = next == '5' && allZero(d.digits, n + 1);
    const bool lastOdd = n > 0 && (d.digits[n - 1] - '0') % 2 == 1;
    const bool up = next > '5' || (next == '5' && (!exactHalf || lastOdd));
    d.digits.resize(n);
    if (up)
        incrementLast(d);
}

void roundToSignificantHalfAway(Decimal& d, std::size_t n)
{
    if (d.digits.size() <= n)
        return;
    const bool up = d.digits[n] >= '5';
    d.digits.resize(n);
    if (up)
        incrementLast(d);
}

std::string reference(const Extended& x, const std::string& sep)
{
    Decimal d = exactDecimal(x);
    roundToSignificantTiesEven(d, 18);
    if (!d.digits.empty()) {
        const int n = std::min(d.E + 3, 8);
        if (n < 0)
            d.digits.clear();
        else
            roundToSignificantHalfAway(d, static_cast<std::size_t>(n));
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    const bool zero = d.digits.empty();

    std::string out = x.negative && !zero ? "-" : "";
    if (!zero && d.E > 8) {
        out += d.digits[0];
        if (d.digits.size() > 1)
            out += sep + d.digits.substr(1);
        const int exponent = d.E - 1;
        char e[16];
        std::snprintf(e, sizeof e, "E%s%03d", exponent < 0 ? "-" : "", std::abs(exponent));
        return out + e;
    }
    if (zero)
        return out + "0" + sep + "000";
    std::string intPart = "0";
    std::string frac;
    if (d.E > 0) {
        std::string padded = d.digits;
        if (padded.size() < static_cast<std::size_t>(d.E))
            padded.append(static_cast<std::size_t>(d.E) - padded.size(), '0');
        intPart = padded.substr(0, static_cast<std::size_t>(d.E));
        frac = padded.substr(static_cast<std::size_t>(d.E));
    } else {
        frac = std::string(static_cast<std::size_t>(-d.E), '0') + d.digits;
    }
    if (frac.size() > 3) {
        std::fprintf(stderr, "reference kept more than three decimals: %s\n", frac.c_str());
        std::abort();
    }
    frac.append(3 - frac.size(), '0');
    return out + intPart + sep + frac;
}

// ---- Input mapping ---------------------------------------------------------

constexpr int kBias = 16383;
constexpr int kFoldHalfRange = 48; // binary orders each side of 1

bool valueFromDecimal(const std::uint8_t* data, std::size_t size, unsigned char* bits)
{
    if (size < 4)
        return false;
    const int steps = static_cast<std::int8_t>(data[1]);
    const int exponent = static_cast<std::int8_t>(data[2]);
    const bool negative = (data[3] & 1) != 0;
    std::string text = negative ? "-0." : "0.";
    for (std::size_t i = 4; i < size && i < 4 + 40; ++i)
        text += static_cast<char>('0' + (data[i] + 2) % 10);
    text += "0e" + std::to_string(exponent);
    long double v = std::strtold(text.c_str(), nullptr);
    const long double toward = steps < 0 ? -HUGE_VALL : HUGE_VALL;
    for (int i = 0; i < std::abs(steps); ++i)
        v = std::nextafter(v, toward);
    if (!std::isfinite(v))
        return false;
    fromLongDouble(v, bits);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    unsigned char bits[10] = {};
    switch (data[0] % 3) {
    case 0:
    case 1: {
        if (size < 11)
            return 0;
        std::memcpy(bits, data + 1, 10);
        if (data[0] % 3 == 1) {
            Extended x = decode(bits);
            x.biasedExponent = kBias - kFoldHalfRange + x.biasedExponent % (2 * kFoldHalfRange + 1);
            x.mantissa |= std::uint64_t{1} << 63;
            encode(x, bits);
        }
        break;
    }
    default:
        if (!valueFromDecimal(data, size, bits))
            return 0;
    }
    const Extended x = decode(bits);
    if (!isOrdinary(x))
        return 0;
    const long double value = toLongDouble(bits);

    struct Separator {
        char32_t code;
        const char* utf8;
    };
    static const Separator kSeparators[] = {{U'.', "."}, {U',', ","}, {U'\u066B', "\xD9\xAB"}};
    for (const Separator& s : kSeparators) {
        const std::string expected = reference(x, s.utf8);
        const std::string actual = potencor::fixed3(value, s.code);
        if (actual != expected) {
            std::fprintf(stderr, "fixed3 mismatch for %.25Lg (bits", value);
            for (int i = 9; i >= 0; --i)
                std::fprintf(stderr, " %02x", bits[i]);
            std::fprintf(stderr, "): expected \"%s\", got \"%s\"\n", expected.c_str(), actual.c_str());
            std::abort();
        }
    }
    return 0;
}
