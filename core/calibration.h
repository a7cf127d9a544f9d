#pragma once
// Screen calibration: turns a cursor position on the screen into plane
// coordinates in cm, with fixed pixel constants measured on the main window's
// layout. The chart derives its plot rectangle from the same values, so what is
// drawn and what a click measures cannot disagree.
#include <cstdint>
#include <string>
#include <string_view>

namespace potencor::calibration {

// Design-time texts of the hidden calibration fields.
inline constexpr std::string_view kDefaultMstartX = "-35"; // px
inline constexpr std::string_view kDefaultMstartY = "-10"; // px
inline constexpr std::string_view kDefaultNx = "962";      // px per 42.85 cm
inline constexpr std::string_view kDefaultNy = "677";      // px per 30 cm

// The window frame the defaults were measured on: the client area's origin
// lies this far right of and below the window's outer top-left corner.
inline constexpr int kFrameLeftPx = 8;
inline constexpr int kFrameTopPx = 32;

inline constexpr long double kSpanXcm = 42.85L; // cm spanned by Nx px
inline constexpr long double kSpanYcm = 30.0L;  // cm spanned by Ny px
inline constexpr long double kChartHeightPx = 700.0L;
inline constexpr long double kSnapStepCm = 0.5L;

struct Calibration {
    long double mstartX; // px
    long double mstartY; // px
    std::int32_t Nx;     // px
    std::int32_t Ny;     // px
};

// Parses a floating-point text the way the framework's StrToFloat does, with
// the given decimal separator; throws "'%s' is not a valid floating point value".
long double parseFloat(std::string_view text, char32_t decimalSeparator);
// Decimal 32-bit integer; throws "'%s' is not a valid integer value".
std::int32_t parseInt32(std::string_view text);

Calibration load(std::string_view edit1, std::string_view edit3, std::string_view edit5,
                 std::string_view edit6, char32_t decimalSeparator);
Calibration defaults();

// X1 from the cursor's screen x and the window's outer left edge, px -> cm.
long double toX1(const Calibration& c, std::int32_t cursorX, std::int32_t windowLeft);
// Y1 from the cursor's screen y and the window's outer top edge, px -> cm.
long double toY1(const Calibration& c, std::int32_t cursorY, std::int32_t windowTop);

// The same from the cursor's distance to the window's outer left or top edge
// in logical px: whole at a display scale of 100 %, and with the fraction a
// device pixel adds at other scales (at 125 % one device px is 0.8 logical px).
long double toX1(const Calibration& c, long double dxPx);
long double toY1(const Calibration& c, long double dyPx);
// Snap to the 0.5 cm grid, an exact half going to the even multiple.
long double snap(long double cm);

// The inverse: the cursor's distance to the window's outer left or top edge
// (logical px, fractional) that toX1 or toY1 turns into the given cm. Plain
// arithmetic, never throws: a value beyond any screen gives a distance beyond
// any screen, or an infinity.
long double toDxPx(const Calibration& c, long double X1_cm);
long double toDyPx(const Calibration& c, long double Y1_cm);

struct PlaneCm {
    long double X1;
    long double Y1;
};
// The cursor's position on the plane: from its distance to the window's outer
// top-left corner in logical px (fractional on a scaled display), or from the
// cursor's and the window's screen positions; snapped to the grid if asked.
PlaneCm convert(const Calibration& c, long double dxPx, long double dyPx, bool snapToGrid);
PlaneCm convert(const Calibration& c, std::int32_t cursorX, std::int32_t cursorY,
                std::int32_t windowLeft, std::int32_t windowTop, bool snapToGrid);

// Where the conversion puts the plane inside the chart control (chart px,
// origin at the chart's top-left, y down), assuming the chart sits at the
// client area's origin.
struct ChartMapping {
    double x0Px;      // chart x of x = 0 cm
    double y0Px;      // chart y of y = 0 cm
    double pxPerCmX;
    double pxPerCmY;
    double toPxX(double xCm) const { return x0Px + xCm * pxPerCmX; }
    double toPxY(double yCm) const { return y0Px - yCm * pxPerCmY; }
};
ChartMapping chartMapping(const Calibration& c);

} // namespace potencor::calibration
