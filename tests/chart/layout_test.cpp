#include "chart/layout.h"
#include "chart/marks.h"

#include "core/calibration.h"

#include <QFont>

#include <gtest/gtest.h>

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

    // 27 + v * 962 / 42.85 and 678 - v * 677 / 30, rounded half up (y = 15
    // lies on 339.5 exactly).
    const int columns[] = {27,  49,  72,  94,  117, 139, 162, 184, 207, 229, 252, 274, 296, 319, 341,
                           364, 386, 409, 431, 454, 476, 498, 521, 543, 566, 588, 611, 633, 656, 678,
                           701, 723, 745, 768, 790, 813, 835, 858, 880, 903, 925, 947, 970};
    const int rows[] = {678, 655, 633, 610, 588, 565, 543, 520, 497, 475, 452, 430, 407, 385, 362, 340,
                        317, 294, 272, 249, 227, 204, 182, 159, 136, 114, 91,  69,  46,  24,  1};
    ASSERT_EQ(l.xLabels.size(), 43);
    ASSERT_EQ(l.yLabels.size(), 31);
    for (int v = 0; v <= 42; ++v) {
        EXPECT_EQ(l.xLabels[v].text, QString::number(v));
        EXPECT_EQ(l.xLabels[v].px, columns[v]) << v;
        EXPECT_NEAR(l.xLabels[v].textRect.center().x(), l.xLabels[v].px + 0.5, 1e-9);
    }
    for (int v = 0; v <= 30; ++v) {
        EXPECT_EQ(l.yLabels[v].px, rows[v]) << v;
        EXPECT_LE(l.yLabels[v].textRect.right(), 21.0); // left of the ticks
        EXPECT_GE(l.yLabels[v].textRect.top(), 1.0);    // "30" is not cut off
    }
    EXPECT_EQ(l.xMinorTicks.size(), 42 * 3);
    EXPECT_EQ(l.yMinorTicks.size(), 30 * 3);
    EXPECT_EQ(l.xMinorTicks[1], 38); // x = 0.5: 38.23
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
    MarkPlacer placer(QRect(0, 0, 1000, 700));
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
    MarkPlacer placer(QRect(0, 0, 100, 100));
    const QRect wanted(10, 0, 20, 50);
    placer.place(wanted, {20, 60});
    EXPECT_EQ(placer.place(wanted, {20, 60}), 50); // no room above the top edge
    EXPECT_EQ(placer.place(wanted, {20, 60}), 0);  // none anywhere: stays where wanted

    // Far outside, labels still keep apart (a point measured off the chart).
    const QRect far(-5000, 30, 20, 10);
    EXPECT_EQ(placer.place(far, {-4990, 45}), 0);
    EXPECT_EQ(placer.place(far, {-4990, 45}), -10);
}

} // namespace
} // namespace potencor::ui
