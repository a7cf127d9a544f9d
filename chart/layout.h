#pragma once
// Geometry of the chart control, worked out once from the screen calibration
// and the label font: the plot rectangle, grid and tick positions, axis label
// boxes and the size of point labels. All in logical px; a "pixel index" is
// the column or row a crisp 1 px line at that value covers.
#include "core/calibration.h"

#include <QFont>
#include <QLocale>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>

#include <algorithm>

namespace potencor::ui {

// Fixed axis ranges, cm (both minimums are 0).
inline constexpr double kAxisMaxXcm = 42.83;
inline constexpr double kAxisMaxYcm = 30.0;

// Measured-point circle and point-label styling, logical px.
inline constexpr double kPointRadiusPx = 3.0;
inline constexpr int kMarkCalloutPx = 8;    // box's lower edge above the point centre
inline constexpr int kMarkShadowPx = 3;     // shadow offset to the lower right
inline constexpr int kMarkShadowBlurPx = 1; // shadow softening beyond its offset
inline constexpr double kMarkCornerPx = 4.0;
inline constexpr double kOutlineWidthPx = 4.0;

// The value as "#,##0.###" would show it: grouped integer part, at most three
// decimals without trailing zeros, the locale's separators.
QString formatAxisValue(double value, const QLocale& locale);

// std::floor of a value within int's range, as an int: a conversion and a
// compare, where std::floor is a call into the maths library that thousands
// of sprite positions per frame would notice.
inline int floorToInt(double v)
{
    const int truncated = static_cast<int>(v);
    return static_cast<double>(truncated) > v ? truncated - 1 : truncated;
}

// Round-half-up pixel index of a logical coordinate.
inline int pixelIndex(double px)
{
    // Far-off values only need to stay far off (and within int).
    constexpr double kFar = 1e6;
    if (!(px > -kFar))
        return static_cast<int>(-kFar);
    return floorToInt(std::min(px, kFar) + 0.5);
}

struct AxisLabel {
    int px;        // column (bottom axis) or row (left axis) of its tick and grid line
    QString text;
    QRectF textRect; // where the text is drawn, centred in it
    double at = 0;   // exact logical coordinate of its value; px rounds it
};

// Size of a point label for a given number of digits.
struct MarkMetrics {
    double digitAdvancePx = 0; // digits share one advance in the label font
    double ascentPx = 0;
    int boxHeightPx = 0;
    int padXPx = 0;
    int padYPx = 0;
    int boxWidth(int digits) const;
};

struct ChartLayout {
    calibration::ChartMapping mapping{};
    QSize size;
    QFont font;
    // Pixel indices covered by the plot area, its frame included.
    QRect plot;
    QVector<AxisLabel> xLabels;
    QVector<AxisLabel> yLabels;
    QVector<int> xMinorTicks; // columns
    QVector<int> yMinorTicks; // rows
    MarkMetrics mark;

    // Pixel index of a chart point (cm); its circle is centred on this pixel.
    QPoint pixelOf(QPointF cm) const;
    // Exact position of a chart point in paint coordinates (outlines).
    QPointF paintPosOf(QPointF cm) const;
    // Where a point's label box goes before overlaps are resolved: above the
    // point, or below it when the control's top edge is in the way.
    QRect defaultMarkBox(QPoint pointPixel, int index) const;
    // A label box plus its shadow: the area the label occupies.
    static QRect markExtent(const QRect& box);
    // Pixel area the circle of a point at this pixel can touch.
    static QRect pointExtent(QPoint pointPixel);
};

// Axis lines, ticks and labels sit outside the plot by these distances.
inline constexpr int kAxisLinePx = 2;
inline constexpr int kMajorTickPx = 4;
inline constexpr int kMinorTickPx = 2;
inline constexpr int kLabelGapPx = 1;

ChartLayout computeChartLayout(const calibration::ChartMapping& mapping, QSize size,
                               const QFont& font, const QLocale& locale);

} // namespace potencor::ui
