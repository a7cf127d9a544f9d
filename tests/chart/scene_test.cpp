// The chart's scene on its own: no widget, a QGuiApplication only (as the
// checker's plots run), painting through whatever painter it is given.
#include "chart/scene.h"

#include "core/calibration.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <stdexcept>

#include <string>
#include <utility>

namespace potencor::ui {
namespace {

// Columns and rows by hand from the calibration (core/calibration.h): x cm
// at column 27 + x * 962 / 42.85 and y cm at row 678 - y * 677 / 30, rounded
// (the chart's origin 8 px right of and 32 px below the window's outer corner,
// mstartX = -35, mstartY = -10, Nx = 962 px per 42.85 cm, Ny = 677 px per 30 cm).
const calibration::ChartMapping kMapping = calibration::chartMapping(calibration::defaults());

const QColor kRed(255, 0, 0);
const QColor kSilver(192, 192, 192);

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y).toRgb(); }

TEST(ChartSceneTest, PaintsOnAPlainImageThroughAnyPainter)
{
    ASSERT_FALSE(QCoreApplication::instance()->inherits("QApplication")) << "this test must run without widgets";
    ChartScene scene(kMapping);
    addElectrodeOutlines(scene);
    scene.Series1()->AddXY(20.5, 10.5);
    scene.setMarksVisible(true);

    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        const QImage alone = scene.renderImage(dpr);
        // Embedded in a larger picture, as a report would have it.
        const QPoint offset(40, 30); // logical px
        QImage page(static_cast<int>(1100 * dpr), static_cast<int>(800 * dpr), QImage::Format_RGB32);
        page.setDevicePixelRatio(dpr);
        page.fill(Qt::blue);
        {
            QPainter p(&page);
            p.translate(offset);
            scene.paint(p, dpr);
        }
        const QRect where(offset * dpr, alone.size());
        EXPECT_EQ(page.copy(where).convertToFormat(alone.format()), alone);
        EXPECT_EQ(at(page, where.left() - 1, where.top()), QColor(Qt::blue)) << "painted outside its place";
        EXPECT_EQ(at(page, where.right() + 1, where.bottom()), QColor(Qt::blue)) << "painted outside its place";
    }
    // (20.5, 10.5) cm: column 487.23, row 441.05 (its label's callout runs
    // down the centre column, so 2 px right of it); the grid line x = 1 cm at
    // column 49.45, crossed at y = 2.5 cm (row 621.58).
    const QImage image = scene.renderImage();
    EXPECT_EQ(at(image, 489, 441), kRed);
    EXPECT_EQ(at(image, 49, 622), kSilver);
}

struct HitRow {
    const char* name;
    QPointF pos; // logical px
    ChartScene::HoverTarget::Kind kind;
    int series; // 1 to 3, 0 for none
    int index;  // -1: any segment of the series
};

void PrintTo(const HitRow& r, std::ostream* os) { *os << r.name; }

class ChartSceneHits : public ::testing::TestWithParam<HitRow> {};

// Points at (20.5, 10.5) cm twice (column 487.23, row 441.05) and at the left
// electrode's top, (9.35, 16.45) cm (column 236.91, row 306.78), where its
// outline passes over it. The bottom label 10 sits under column 251.50 (its
// text below row 685: the frame's row 678, 2 px of axis, 4 of tick and 1 of
// gap); the left label 15 left of column 21, on row 339.5.
TEST_P(ChartSceneHits, WhatLiesOnTopIsHit)
{
    ChartScene scene(kMapping);
    addElectrodeOutlines(scene);
    scene.Series1()->AddXY(20.5, 10.5);
    scene.Series1()->AddXY(20.5, 10.5);
    scene.Series1()->AddXY(9.35, 16.45);
    const Series* series[] = {nullptr, scene.Series1(), scene.Series2(), scene.Series3()};

    const HitRow& r = GetParam();
    const ChartScene::HoverTarget hit = scene.hitTest(r.pos);
    EXPECT_EQ(hit.kind, r.kind);
    EXPECT_EQ(hit.series, series[r.series]);
    if (r.index >= 0) {
        EXPECT_EQ(hit.index, r.index);
    }
}

using Kind = ChartScene::HoverTarget::Kind;

INSTANTIATE_TEST_SUITE_P(
    Table, ChartSceneHits,
    ::testing::Values(HitRow{"LaterPointOverEarlier", {487.5, 441.5}, Kind::Point, 1, 1},
                      HitRow{"PointsRimIsThePoint", {490.5, 441.5}, Kind::Point, 1, 1},
                      HitRow{"BesideThePointIsNothing", {491.5, 441.5}, Kind::None, 0, -1},
                      HitRow{"OutlineOverPoint", {237.5, 307.5}, Kind::Segment, 2, -1},
                      HitRow{"BottomLabel", {252.0, 690.0}, Kind::BottomLabel, 0, 10},
                      HitRow{"LeftLabel", {17.0, 340.0}, Kind::LeftLabel, 0, 15},
                      HitRow{"EmptyPlot", {500.0, 300.0}, Kind::None, 0, -1},
                      HitRow{"RightOfThePlot", {995.0, 340.0}, Kind::None, 0, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// Hits follow the points through removals anywhere in the series and a
// whole new set of them.
TEST(ChartSceneTest, HitsFollowRemovalsAndAssignment)
{
    ChartScene scene(kMapping);
    // (20.5, 10.5) cm: column 487.23, row 441.05; (5, 5) cm: column 27 + 112.25, row 678 - 112.84.
    scene.Series1()->AddXY(5, 5);
    scene.Series1()->AddXY(20.5, 10.5);
    scene.Series1()->AddXY(5, 5);
    const QPointF first(139.5, 565.5);
    const QPointF second(487.5, 441.5);
    EXPECT_EQ(scene.hitTest(first).index, 2);
    scene.Series1()->Delete(2);
    EXPECT_EQ(scene.hitTest(first).index, 0);
    scene.Series1()->Delete(0);
    EXPECT_EQ(scene.hitTest(first).kind, ChartScene::HoverTarget::Kind::None);
    EXPECT_EQ(scene.hitTest(second).index, 0);
    scene.Series1()->AddXY(5, 5);
    EXPECT_EQ(scene.hitTest(first).index, 1);
    scene.Series1()->Assign({QPointF(20.5, 10.5), QPointF(20.5, 10.5)}, {-1, -1});
    EXPECT_EQ(scene.hitTest(first).kind, ChartScene::HoverTarget::Kind::None);
    EXPECT_EQ(scene.hitTest(second).index, 1);
}

// The owner repaints on changed(): it comes with every change of the picture
// and with nothing else, and a hover dies with its point, so that a point
// appended in its place is not drawn highlighted.
TEST(ChartSceneTest, SaysWhenThePictureChangesAndHoverDiesWithItsPoint)
{
    ChartScene scene(kMapping);
    int changes = 0;
    QObject::connect(&scene, &ChartScene::changed, [&] { ++changes; });
    const auto changed = [&] { return std::exchange(changes, 0); };

    scene.Series1()->AddXY(5, 5);
    scene.Series1()->AddXY(20.5, 10.5); // column 487.23, row 441.05
    EXPECT_EQ(changed(), 2);
    scene.setMarksVisible(true);
    EXPECT_EQ(changed(), 1);
    scene.setMarksVisible(true);
    EXPECT_EQ(changed(), 0);

    scene.hoverAt({487.5, 441.5});
    EXPECT_EQ(changed(), 1);
    scene.hoverAt({488.5, 442.5}); // the same point
    EXPECT_EQ(changed(), 0);

    scene.Series1()->Delete(1);
    EXPECT_EQ(changed(), 1);
    EXPECT_EQ(scene.hover(), ChartScene::HoverTarget{});
    scene.Series1()->AddXY(30, 20);
    ChartScene fresh(kMapping);
    fresh.Series1()->AddXY(5, 5);
    fresh.Series1()->AddXY(30, 20);
    fresh.setMarksVisible(true);
    EXPECT_EQ(scene.renderImage(), fresh.renderImage());

    changed();
    scene.clearHover();
    EXPECT_EQ(changed(), 0);
}

// The checker's equipotentials: over the grid, under the points, inside the
// plot, and shown even when the picture was painted before.
TEST(ChartSceneTest, BackdropLiesOverTheGridUnderThePointsInsideThePlot)
{
    ChartScene scene(kMapping);
    scene.Series1()->AddXY(20.5, 10.5); // column 487.23, row 441.05
    const QImage before = scene.renderImage();
    int changes = 0;
    QObject::connect(&scene, &ChartScene::changed, [&] { ++changes; });
    // Along y = 10.5 cm through the point, and down x = 20.5 cm past the
    // plot's bottom (row 678) into the axis labels.
    scene.setBackdrop({QPolygonF{{15, 10.5}, {25, 10.5}}, QPolygonF{{20.5, 10.5}, {20.5, -3}}}, {});
    EXPECT_EQ(changes, 1);
    const QImage after = scene.renderImage();

    const auto bluish = [](QColor c) { return c.blue() > c.red() + 40; };
    // x = 17.5 cm: column 419.88, off the grid; x = 17 cm: column 408.65, a grid line.
    EXPECT_EQ(at(before, 420, 441), QColor(Qt::white));
    EXPECT_TRUE(bluish(at(after, 420, 441))) << at(after, 420, 441).name().toStdString();
    EXPECT_EQ(at(before, 409, 441), kSilver);
    EXPECT_TRUE(bluish(at(after, 409, 441))) << at(after, 409, 441).name().toStdString();
    // The point stays on top: its centre as it was.
    EXPECT_EQ(at(after, 487, 441), at(before, 487, 441));
    // Nothing below the plot's frame.
    EXPECT_EQ(after.copy(0, 681, 1000, 19), before.copy(0, 681, 1000, 19));

    ChartScene fresh(kMapping);
    fresh.setBackdrop({QPolygonF{{15, 10.5}, {25, 10.5}}, QPolygonF{{20.5, 10.5}, {20.5, -3}}}, {});
    fresh.Series1()->AddXY(20.5, 10.5);
    EXPECT_EQ(fresh.renderImage(), after);
}

// Points assigned all at once (a session opened or restored) replace the old
// ones with one change: the picture, labels and hover are those of a scene
// given the same points one by one.
TEST(ChartSceneTest, AssignedPointsReplaceTheOldOnesInOneChange)
{
    ChartScene scene(kMapping);
    scene.setMarksVisible(true);
    for (int i = 0; i < 5; ++i)
        scene.Series1()->AddXY(2 + 3 * i, 4 + i);
    scene.renderImage(); // labels placed for the old points
    scene.hoverAt({487.5, 441.5});
    int changes = 0;
    QObject::connect(&scene, &ChartScene::changed, [&] { ++changes; });

    scene.Series1()->Assign({{20.5, 10.5}, {30, 20}, {20.6, 10.5}}, {7, -1, 12});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(scene.hover(), ChartScene::HoverTarget{});
    EXPECT_EQ(scene.Series1()->Count(), 3);
    EXPECT_EQ(scene.Series1()->label(0), 7);
    EXPECT_EQ(scene.Series1()->label(1), 1);
    ChartScene fresh(kMapping);
    fresh.setMarksVisible(true);
    fresh.Series1()->AddXY(20.5, 10.5, 7);
    fresh.Series1()->AddXY(30, 20);
    fresh.Series1()->AddXY(20.6, 10.5, 12);
    EXPECT_EQ(scene.renderImage(), fresh.renderImage());

    EXPECT_THROW(scene.Series1()->Assign({{1, 1}}, {}), std::invalid_argument);
    EXPECT_EQ(scene.Series1()->Count(), 3);
}

} // namespace
} // namespace potencor::ui
