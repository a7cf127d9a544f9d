// Hover highlight of the axis labels, found in the rendered picture rather
// than taken from the chart's own layout.
#include "ui/chart.h"
#include "paint_counter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace potencor::ui {
namespace {

// The plot's lower-left corner sits about 27 px from the control's left edge
// and 678 px below its top; 962 px span 42.85 cm and 677 px span 30 cm.
double columnOf(double xCm) { return 27 + xCm * 962 / 42.85; }
double rowOf(double yCm) { return 678 - yCm * 677 / 30; }

bool isDark(QColor c) { return c.red() < 128 && c.green() < 128 && c.blue() < 128; }
bool isRed(QColor c) { return c.red() > 200 && c.green() < 128 && c.blue() < 128 && c.red() - c.green() > 100; }

int count(const QImage& image, const QRect& area, bool (*what)(QColor))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += what(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

// Bounding box of the dark pixels in `area`: the label's drawn text.
QRect inkIn(const QImage& image, const QRect& area)
{
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isDark(image.pixelColor(x, y)))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

struct LabelCase {
    const char* name;
    QRect searchArea; // the strip where the label's text must be, control px
};

class AxisLabelHover : public ::testing::TestWithParam<LabelCase> {
protected:
    void move(QPoint pos)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(pos), chart.mapToGlobal(QPointF(pos)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&chart, &e);
    }

    TChart chart{calibration::chartMapping(calibration::defaults())};
};

// Below the axis line and its ticks for the bottom axis; left of them for the
// left axis. Each strip holds one label's text and nothing else.
QRect bottomStrip(double xCm) { return QRect(int(columnOf(xCm)) - 9, 686, 19, 700 - 686); }
QRect leftStrip(double yCm) { return QRect(0, int(rowOf(yCm)) - 7, 20, 15) & QRect(0, 0, 1000, 700); }

TEST_P(AxisLabelHover, LabelUnderThePointerTurnsRedUntilThePointerLeaves)
{
    const LabelCase& c = GetParam();
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));

    const QImage before = chart.renderImage();
    const QRect ink = inkIn(before, c.searchArea);
    ASSERT_FALSE(ink.isEmpty()) << "no label text found in the strip";
    const int dark = count(before, ink, isDark);
    EXPECT_EQ(count(before, ink, isRed), 0);

    move(ink.center());
    const QImage hovered = chart.renderImage();
    EXPECT_EQ(count(hovered, ink, isDark), 0) << "black text left under the pointer";
    EXPECT_GE(count(hovered, ink, isRed), dark) << "the label is not red";
    // Nothing but the label changes.
    for (int y = 0; y < hovered.height(); ++y)
        for (int x = 0; x < hovered.width(); ++x)
            if (!ink.adjusted(-2, -2, 2, 2).contains(x, y) && hovered.pixel(x, y) != before.pixel(x, y))
                FAIL() << "pixel " << x << "," << y << " changed outside the label";

    move(QPoint(500, 300)); // an empty place in the plot
    EXPECT_EQ(chart.renderImage(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, AxisLabelHover,
    ::testing::Values(LabelCase{"bottom_0", bottomStrip(0)}, LabelCase{"bottom_10", bottomStrip(10)},
                      LabelCase{"bottom_42", bottomStrip(42)}, LabelCase{"left_0", leftStrip(0)},
                      LabelCase{"left_15", leftStrip(15)}, LabelCase{"left_30", leftStrip(30)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AxisLabelHover, RepaintsOnlyWhenTheHoveredLabelChanges)
{
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    PaintCounter paints(&chart);
    const QImage image = chart.renderImage();
    const QRect ten = inkIn(image, bottomStrip(10));
    const QRect eleven = inkIn(image, bottomStrip(11));

    move(ten.center());
    EXPECT_EQ(paints.settle(), 1) << "onto the label";
    move(ten.center() + QPoint(1, 0));
    move(ten.center() + QPoint(0, 1));
    EXPECT_EQ(paints.settle(), 0) << "within the same label";
    move(eleven.center());
    EXPECT_EQ(paints.settle(), 1) << "onto the next label";
    move(QPoint(eleven.center().x(), 699)); // the strip below the text
    move(QPoint(eleven.center().x() + 11, eleven.center().y())); // between two labels
    EXPECT_EQ(paints.settle(), 1) << "off the labels, once";
}

} // namespace
} // namespace potencor::ui
