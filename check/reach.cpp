#include "check/reach.h"

#include "core/calibration.h"
#include "core/fixed3.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace potencor::check {
namespace {

const calibration::Calibration kDefaults = calibration::defaults();

// "…,000" or "…,500": a multiple of 0.5 cm in fixed form.
bool onSnapGrid(std::string_view text)
{
    return text.size() > 4 && text.find('E') == std::string_view::npos
           && (text.ends_with("000") || text.ends_with("500"));
}

// Whether some whole pixel distance near pixelGuess converts to a value that
// prints as text. Neighbouring pixels lie 0.044 cm apart, far more than the
// printed 0.001 cm, so the three around the guess are all there can be.
template <class ToCm>
bool somePixelPrints(std::string_view text, long double value, char32_t sep, long double pixelGuess,
                     ToCm toCm)
{
    if (!(std::fabs(pixelGuess) < 2147483647.0L))
        return false; // a cursor's distance is a 32-bit difference
    const long double centre = std::floor(pixelGuess + 0.5L);
    for (long double px = centre - 1; px <= centre + 1; ++px) {
        const long double cm = toCm(px);
        const long double off = std::fabs(cm - value);
        // Clear of a rounding boundary by far more than the arithmetic's
        // error: decided without formatting, which is slow.
        if (std::fabs(value) < 1e4L && off < 0.0005L - 1e-9L)
            return true;
        if (std::fabs(value) < 1e4L && off > 0.0005L + 1e-9L)
            continue;
        if (fixed3(cm, sep) == text)
            return true;
    }
    return false;
}

} // namespace

bool reachableX(std::string_view text, long double value, char32_t sep)
{
    if (onSnapGrid(text))
        return true;
    const calibration::Calibration& c = kDefaults;
    return somePixelPrints(text, value, sep, calibration::toDxPx(c, value),
                           [&](long double px) { return calibration::toX1(c, px); });
}

bool reachableY(std::string_view text, long double value, char32_t sep)
{
    if (onSnapGrid(text))
        return true;
    const calibration::Calibration& c = kDefaults;
    return somePixelPrints(text, value, sep, calibration::toDyPx(c, value),
                           [&](long double px) { return calibration::toY1(c, px); });
}

} // namespace potencor::check
