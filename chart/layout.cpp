#include "chart/layout.h"

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <functional>

namespace potencor::ui {
namespace {

// Axis label text and positions along one axis for a label step.
using ToPx = std::function<double(double)>;

QVector<double> axisValues(double maxCm, double step)
{
    QVector<double> values;
    // k * step rather than a running sum, so 30 stays exactly 30.
    for (int k = 0;; ++k) {
        const double v = k * step;
        if (v > maxCm + 1e-9)
            break;
        values.push_back(v);
    }
    return values;
}

// 1-2-5 label steps from 0.001 up; the first that satisfies `fits` wins.
double chooseStep(double smallest, const std::function<bool(double)>& fits)
{
    static constexpr double kMantissas[] = {1.0, 2.0, 5.0};
    for (int exponent = -3; exponent <= 6; ++exponent) {
        for (double m : kMantissas) {
            const double step = m * std::pow(10.0, exponent);
            if (step + 1e-12 >= smallest && fits(step))
                return step;
        }
    }
    return 0.0;
}

QVector<int> minorTicks(const QVector<double>& values, const ToPx& toPx)
{
    QVector<int> ticks;
    for (qsizetype i = 1; i < values.size(); ++i) {
        const double a = values[i - 1];
        const double b = values[i];
        for (int k = 1; k <= 3; ++k)
            ticks.push_back(pixelIndex(toPx(a + k * (b - a) / 4.0)));
    }
    return ticks;
}

double clampStart(double start, double length, double lo, double hi)
{
    return std::max(lo, std::min(start, hi - length));
}

void layoutBottomAxis(ChartLayout& l, const QFontMetricsF& fm, const QLocale& locale)
{
    const double perCm = l.mapping.pxPerCmX;
    const double gapPx = fm.horizontalAdvance(QLatin1Char('0'));
    // The configured increment is 1 cm; it only ever widens, when labels crowd.
    const double step = chooseStep(1.0, [&](double s) {
        double widest = 0;
        for (double v : axisValues(kAxisMaxXcm, s))
            widest = std::max(widest, fm.horizontalAdvance(formatAxisValue(v, locale)));
        return s * perCm >= widest + gapPx;
    });
    if (step <= 0)
        return;
    const ToPx toPx = [&](double v) { return l.mapping.toPxX(v); };
    const QVector<double> values = axisValues(kAxisMaxXcm, step);
    const double top = l.plot.bottom() + kAxisLinePx + kMajorTickPx + kLabelGapPx;
    for (double v : values) {
        AxisLabel label{pixelIndex(toPx(v)), formatAxisValue(v, locale), {}, toPx(v)};
        const double w = fm.horizontalAdvance(label.text);
        const double left = clampStart(label.px + 0.5 - w / 2, w, 1, l.size.width() - 1);
        label.textRect = QRectF(left, top, w, fm.height());
        l.xLabels.push_back(label);
    }
    l.xMinorTicks = minorTicks(values, toPx);
}

void layoutLeftAxis(ChartLayout& l, const QFontMetricsF& fm, const QLocale& locale)
{
    const double perCm = l.mapping.pxPerCmY;
    // Labels need their own height plus half of it again between them.
    const double step = chooseStep(0.0, [&](double s) { return s * perCm >= fm.height() * 1.5; });
    if (step <= 0)
        return;
    const ToPx toPx = [&](double v) { return l.mapping.toPxY(v); };
    const QVector<double> values = axisValues(kAxisMaxYcm, step);
    const double right = l.plot.left() + 1 - kAxisLinePx - kMajorTickPx - kLabelGapPx;
    for (double v : values) {
        AxisLabel label{pixelIndex(toPx(v)), formatAxisValue(v, locale), {}, toPx(v)};
        const double w = fm.horizontalAdvance(label.text);
        const double h = fm.height();
        // The top label sits on the control's edge; keep it whole.
        const double top = clampStart(label.px + 0.5 - h / 2, h, 1, l.size.height() - 1);
        label.textRect = QRectF(right - w, top, w, h);
        l.yLabels.push_back(label);
    }
    l.yMinorTicks = minorTicks(values, toPx);
}

MarkMetrics markMetrics(const QFontMetricsF& fm)
{
    MarkMetrics m;
    m.digitAdvancePx = fm.horizontalAdvance(QLatin1Char('0'));
    m.ascentPx = fm.ascent();
    m.padXPx = 3;
    m.padYPx = 1;
    m.boxHeightPx = static_cast<int>(std::ceil(fm.height())) + 2 * m.padYPx;
    return m;
}

int decimalDigits(int n)
{
    int digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

} // namespace

QString formatAxisValue(double value, const QLocale& locale)
{
    double rounded = std::round(value * 1000.0) / 1000.0;
    if (rounded == 0.0)
        rounded = 0.0; // no "-0"
    QLocale grouped(locale);
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    QString text = grouped.toString(rounded, 'f', 3);
    const QString point = grouped.decimalPoint();
    const QString zero = grouped.zeroDigit();
    while (text.endsWith(zero))
        text.chop(zero.size());
    if (text.endsWith(point))
        text.chop(point.size());
    return text;
}

int MarkMetrics::boxWidth(int digits) const
{
    const int w = static_cast<int>(std::ceil(digits * digitAdvancePx)) + 2 * padXPx;
    return w | 1; // odd, so the box is symmetric about the point's column
}

QPoint ChartLayout::pixelOf(QPointF cm) const
{
    return {pixelIndex(mapping.toPxX(cm.x())), pixelIndex(mapping.toPxY(cm.y()))};
}

QPointF ChartLayout::paintPosOf(QPointF cm) const
{
    return {mapping.toPxX(cm.x()) + 0.5, mapping.toPxY(cm.y()) + 0.5};
}

QRect ChartLayout::defaultMarkBox(QPoint pointPixel, int index) const
{
    const int w = mark.boxWidth(decimalDigits(index));
    const int h = mark.boxHeightPx;
    const int left = pointPixel.x() - w / 2;
    const int bottom = pointPixel.y() - kMarkCalloutPx;
    // No room above a point at the top of the control: the label hangs below it.
    if (bottom - h + 1 < 0 && pointPixel.y() >= 0)
        return {left, pointPixel.y() + kMarkCalloutPx, w, h};
    return {left, bottom - h + 1, w, h};
}

QRect ChartLayout::markExtent(const QRect& box)
{
    const int grow = kMarkShadowPx + kMarkShadowBlurPx;
    return box.adjusted(0, 0, grow, grow);
}

QRect ChartLayout::pointExtent(QPoint pointPixel)
{
    // Radius 3 plus half the outline pen and a pixel of anti-aliasing.
    return {pointPixel.x() - 4, pointPixel.y() - 4, 9, 9};
}

ChartLayout computeChartLayout(const calibration::ChartMapping& mapping, QSize size,
                               const QFont& font, const QLocale& locale)
{
    ChartLayout l;
    l.mapping = mapping;
    l.size = size;
    l.font = font;
    const QPoint origin(pixelIndex(mapping.toPxX(0)), pixelIndex(mapping.toPxY(0)));
    const QPoint corner(pixelIndex(mapping.toPxX(kAxisMaxXcm)), pixelIndex(mapping.toPxY(kAxisMaxYcm)));
    l.plot = QRect(QPoint(std::min(origin.x(), corner.x()), std::min(origin.y(), corner.y())),
                   QPoint(std::max(origin.x(), corner.x()), std::max(origin.y(), corner.y())));

    // Metrics as the chart's images will draw them (their own 96 dpi), not the screen's.
    QImage device(1, 1, QImage::Format_RGB32);
    const QFontMetricsF fm(font, &device);
    layoutBottomAxis(l, fm, locale);
    layoutLeftAxis(l, fm, locale);
    l.mark = markMetrics(fm);
    return l;
}

} // namespace potencor::ui
