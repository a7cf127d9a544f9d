#include "ui/chart_layout.h"
#include "ui/chart_marks.h"

#include "core/calibration.h"

#include <QFont>

#include <gtest/gtest.h>

#include <cmath>

namespace potencor::ui {
namespace {

TEST(AxisValueFormat, PatternWithLocaleSeparators)
{
    const QLocale c = QLocale::c();
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    struct Case {
        double value;
        QLocale locale;
        QString expected;
    };
    const Case cases[] = {
        {0.0, c, "0"},
        {42.0, c, "42"},
        {0.5, c, "0.5"},
        {1234.5678, c, "1,234.568"}, // grouped even where the C locale omits it
        {2.0004, c, "2"},
        {-0.0001, c, "0"},
        {0.5, ru, "0" + ru.decimalPoint() + "5"},
        {1234.5, ru, "1" + ru.groupSeparator() + "234" + ru.decimalPoint() + "5"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(formatAxisValue(k.value, k.locale), k.expected) << k.value;
}

QFont labelFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    return f;
}

TEST(ChartLayoutTest, DefaultCalibrationGivesWholeCentimetreLabels)
{
    const auto mapping = calibration::chartMapping(calibration::defaults());
    const ChartLayout l = computeChartLayout(mapping, {1000, 700}, labelFont(), QLocale::c());
    EXPECT_EQ(l.plot, QRect(QPoint(27, 1), QPoint(989, 678)));

    ASSERT_EQ(l.xLabels.size(), 43);
    ASSERT_EQ(l.yLabels.size(), 31);
    for (int v = 0; v <= 42; ++v) {
        EXPECT_EQ(l.xLabels[v].text, QString::number(v));
        EXPECT_EQ(l.xLabels[v].px, std::lround(mapping.toPxX(v)));
        EXPECT_NEAR(l.xLabels[v].textRect.center().x(), l.xLabels[v].px + 0.5, 1e-9);
    }
    for (int v = 0; v <= 30; ++v) {
        EXPECT_EQ(l.yLabels[v].px, std::lround(mapping.toPxY(v)));
        EXPECT_LE(l.yLabels[v].textRect.right(), 21.0); // left of the ticks
        EXPECT_GE(l.yLabels[v].textRect.top(), 1.0);    // "30" is not cut off
    }
    EXPECT_EQ(l.xMinorTicks.size(), 42 * 3);
    EXPECT_EQ(l.yMinorTicks.size(), 30 * 3);
    EXPECT_EQ(l.xMinorTicks[1], std::lround(mapping.toPxX(0.5)));
}

TEST(ChartLayoutTest, CrowdedLabelsGetAWiderStep)
{
    calibration::ChartMapping small{10, 200, 4, 4}; // 4 px per cm
    const ChartLayout l = computeChartLayout(small, {1000, 700}, labelFont(), QLocale::c());
    ASSERT_GE(l.xLabels.size(), 2);
    ASSERT_GE(l.yLabels.size(), 2);
    const QString xStep = l.xLabels[1].text;
    const QString yStep = l.yLabels[1].text;
    EXPECT_TRUE(xStep == "5" || xStep == "10") << xStep.toStdString();
    EXPECT_TRUE(yStep == "5" || yStep == "10") << yStep.toStdString();
    EXPECT_EQ(l.xMinorTicks.size(), (l.xLabels.size() - 1) * 3);
}

TEST(MarkPlacerTest, OverlapsAreResolvedToTheNearestFreePlace)
{
    MarkPlacer placer(0, 699);
    const QRect wanted(100, 300, 20, 18);
    const QPoint anchor(110, 325);
    EXPECT_EQ(placer.place(wanted, anchor), 0);
    EXPECT_EQ(placer.place(wanted, anchor), -18); // straight above, touching
    EXPECT_EQ(placer.place(wanted, anchor), -36); // above both, not onto its point
    EXPECT_EQ(placer.place(wanted.translated(25, 0), anchor), 0); // beside them: free
    EXPECT_EQ(placer.place(wanted.translated(5, -10), anchor), -44); // above the third
    for (int i = 0; i < placer.count(); ++i)
        for (int j = 0; j < i; ++j)
            EXPECT_FALSE(placer.extent(i).intersects(placer.extent(j))) << i << " " << j;
    // The footprint reaches down to the point the callout starts from.
    EXPECT_EQ(placer.footprint(1), QRect(QPoint(100, 282), QPoint(119, 325)));

    // Forgetting the last label frees its place for the next one.
    placer.removeLast();
    EXPECT_EQ(placer.count(), 4);
    EXPECT_EQ(placer.place(wanted.translated(5, -10), anchor), -44);
}

TEST(MarkPlacerTest, LabelsAreNotPushedOutOfTheControl)
{
    MarkPlacer placer(0, 99);
    const QRect wanted(10, 0, 20, 50);
    placer.place(wanted, {20, 60});
    EXPECT_EQ(placer.place(wanted, {20, 60}), 50); // no room above the top edge
    EXPECT_EQ(placer.place(wanted, {20, 60}), 0);  // none anywhere: stays where wanted
}

} // namespace
} // namespace potencor::ui
