// The numbers behind every verdict, for comparing two builds digit for digit:
// for every whole pixel of the chart at 100 %, and a position between pixels
// as a display scale of 125 % gives beside each, the
// point's coordinates, the model's raw value and potential (all 80 bits of
// each), the protocol line the program prints, what parsing reads back from
// it, and the checker's enclosure of the potential over the printed point's
// rounding square. One hash a column of pixels, so that a difference says
// where; "--column DX" prints that column's values in full.
#include "check/bound.h"
#include "core/calibration.h"
#include "core/field.h"
#include "core/protocol.h"
#include "core/protocol_parse.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace potencor;

// 64-bit FNV-1a.
struct Hash {
    std::uint64_t h = 14695981039346656037ull;
    void add(const void* data, std::size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    }
    // The value's 64 significand bits and 16 of sign and exponent, nothing
    // of the padding.
    void add(long double v)
    {
        unsigned char bytes[10];
        std::memcpy(bytes, &v, sizeof bytes);
        add(bytes, sizeof bytes);
    }
    void add(const std::string& s) { add(s.data(), s.size()); }
};

std::string bits(long double v)
{
    unsigned char b[10];
    std::memcpy(b, &v, sizeof b);
    char out[24];
    std::snprintf(out, sizeof out, "%02x%02x:%02x%02x%02x%02x%02x%02x%02x%02x", b[9], b[8], b[7], b[6], b[5], b[4],
                  b[3], b[2], b[1], b[0]);
    return out;
}

// Everything about one point into the hash; printed in full when asked.
void point(Hash& hash, long double x, long double y, int number, bool print)
{
    const field::Evaluation e = field::evaluate(x, y);
    const std::string line = protocol::line(number, x, y, e.volts, U'.');
    const auto parsed = protocol::parseLine(line);
    const check::Interval range = check::potentialRange(x, y, 0.0005L, 0.0005L);
    hash.add(x);
    hash.add(y);
    hash.add(e.raw);
    hash.add(e.volts);
    hash.add(line);
    if (parsed) {
        hash.add(parsed->X1_cm);
        hash.add(parsed->Y1_cm);
        hash.add(parsed->phi_V);
    }
    hash.add(range.lo);
    hash.add(range.hi);
    if (print)
        std::printf("%s | x %s y %s raw %s V %s | read %s %s %s | range %s %s\n", line.c_str(), bits(x).c_str(),
                    bits(y).c_str(), bits(e.raw).c_str(), bits(e.volts).c_str(),
                    parsed ? bits(parsed->X1_cm).c_str() : "-", parsed ? bits(parsed->Y1_cm).c_str() : "-",
                    parsed ? bits(parsed->phi_V).c_str() : "-", bits(range.lo).c_str(), bits(range.hi).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const long column = argc == 3 && std::strcmp(argv[1], "--column") == 0 ? std::strtol(argv[2], nullptr, 10) : -1;
    const calibration::Calibration c = calibration::defaults();
    // A margin of a centimetre around the plane, whose 42.83 x 30 cm the chart shows.
    const long firstX = std::lround(std::floor(calibration::toDxPx(c, -1.0L)));
    const long lastX = std::lround(std::ceil(calibration::toDxPx(c, 43.83L)));
    const long firstY = std::lround(std::floor(calibration::toDyPx(c, 31.0L)));
    const long lastY = std::lround(std::ceil(calibration::toDyPx(c, -1.0L)));
    std::size_t points = 0;
    Hash all;
    for (long dx = firstX; dx <= lastX; ++dx) {
        if (column >= 0 && dx != column)
            continue;
        Hash hash;
        const bool print = dx == column;
        int number = 0;
        for (long dy = firstY; dy <= lastY; ++dy, ++points) {
            // 100 %: whole logical pixels; 125 %: a device pixel is 0.8 of
            // one, so that positions fall on fifths of a logical pixel.
            point(hash, calibration::toX1(c, static_cast<long double>(dx)),
                  calibration::toY1(c, static_cast<long double>(dy)), number++, print);
            point(hash, calibration::toX1(c, dx + 0.4L), calibration::toY1(c, dy + 0.6L), number++, print);
        }
        if (column < 0)
            std::printf("column %ld: %016llx\n", dx, static_cast<unsigned long long>(hash.h));
        all.add(&hash.h, sizeof hash.h);
    }
    if (column < 0)
        std::printf("%zu points, %ld x %ld px: %016llx\n", 2 * points, lastX - firstX + 1, lastY - firstY + 1,
                    static_cast<unsigned long long>(all.h));
    return 0;
}
