#include "ui/chart.h"
#include "paint_counter.h"

#include "core/calibration.h"
#include "core/error.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace potencor::ui {
namespace {

const calibration::ChartMapping kMapping = calibration::chartMapping(calibration::defaults());

// Pixels below are worked out by hand from the calibration (core/calibration.h),
// never through the chart's mapping. The chart's origin is the client area's,
// 8 px right of and 32 px below the window's outer corner. A click at chart
// column c measures x = (c + 8 + mstartX) * 42.85 / Nx with mstartX = -35 and
// Nx = 962, so x cm is drawn at column 27 + x * 962 / 42.85; it measures
// y = (700 - (r + 32 + mstartY)) * 30 / Ny at row r with mstartY = -10 and
// Ny = 677, so y cm is drawn at row 678 - y * 677 / 30; both rounded.

const QColor kWhite(255, 255, 255);
const QColor kSilver(192, 192, 192);
const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y).toRgb(); }

bool isDark(const QColor& c) { return c.red() < 100 && c.green() < 100 && c.blue() < 100; }
bool isRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }

int darkPixelsIn(const QImage& image, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += isDark(at(image, x, y)) ? 1 : 0;
    return n;
}

// Bounding box of the pixels where two images differ, leaving out `ignored`.
QRect differingArea(const QImage& a, const QImage& b, const QRect& ignored = {})
{
    QRect area;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && !ignored.contains(x, y))
                area |= QRect(x, y, 1, 1);
    return area;
}

void addOutlines(TChart& chart) { addElectrodeOutlines(chart.scene()); }

class ChartTest : public ::testing::Test {
protected:
    TChart chart{kMapping};
};

// --- Series ---------------------------------------------------------------

TEST_F(ChartTest, SeriesIndicesFollowAppendAndDelete)
{
    Series* s = chart.Series1();
    EXPECT_EQ(s->LastValueIndex(), -1);
    EXPECT_EQ(s->AddXY(1, 1), 0);
    EXPECT_EQ(s->AddXY(2, 2), 1);
    EXPECT_EQ(s->AddXY(3, 3), 2);
    EXPECT_EQ(s->LastValueIndex(), 2);
    s->Delete(2);
    EXPECT_EQ(s->LastValueIndex(), 1);
    EXPECT_EQ(s->AddXY(4, 4), 2);
    // Removing a middle point moves the later ones down.
    s->Delete(0);
    EXPECT_THAT(s->points(), ::testing::ElementsAre(QPointF(2, 2), QPointF(4, 4)));
}

TEST_F(ChartTest, DeleteOutOfRangeFailsAndKeepsTheSeries)
{
    Series* s = chart.Series1();
    for (int i = 0; i < 3; ++i)
        s->AddXY(i, i);
    const QVector<QPointF> before = s->points();
    struct Case {
        int index;
        const char* message;
    };
    for (const Case& c : {Case{5, "Series Delete: ValueIndex 5 out of bounds (0 to 2)."},
                          Case{3, "Series Delete: ValueIndex 3 out of bounds (0 to 2)."},
                          Case{-1, "Series Delete: ValueIndex -1 out of bounds (0 to 2)."}}) {
        try {
            s->Delete(c.index);
            ADD_FAILURE() << "no error for index " << c.index;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(s->points(), before);
    }
    TChart empty(kMapping);
    EXPECT_THROW(
        {
            try {
                empty.Series1()->Delete(0);
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "Series Delete: ValueIndex 0 out of bounds (0 to -1).");
                throw;
            }
        },
        Error);
}

// --- Mouse events ------------------------------------------------------------

class ChartEventsTest : public ChartTest {
protected:
    void move(QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
    {
        QMouseEvent e(QEvent::MouseMove, QPointF(pos), chart.mapToGlobal(QPointF(pos)), Qt::NoButton,
                      buttons, Qt::NoModifier);
        QApplication::sendEvent(&chart, &e);
    }

    QSignalSpy clicks{&chart, &TChart::clicked};
    QSignalSpy moves{&chart, &TChart::mouseMoved};
};

// What the mouse does on the chart, one step at a time.
struct MouseStep {
    enum Kind { Press, Release, DoubleClick, Move };
    Kind kind;
    Qt::MouseButton button; // for a move, the button held down
    QPoint pos;
};

struct ClickRow {
    const char* name;
    std::vector<MouseStep> steps;
    int clicks;
    int moves;
};

void PrintTo(const ClickRow& r, std::ostream* os) { *os << r.name; }

class ChartClicks : public ChartEventsTest, public ::testing::WithParamInterface<ClickRow> {};

TEST_P(ChartClicks, Count)
{
    for (const MouseStep& step : GetParam().steps) {
        switch (step.kind) {
        case MouseStep::Press:
            QTest::mousePress(&chart, step.button, {}, step.pos);
            break;
        case MouseStep::Release:
            QTest::mouseRelease(&chart, step.button, {}, step.pos);
            break;
        case MouseStep::DoubleClick:
            QTest::mouseDClick(&chart, step.button, {}, step.pos);
            break;
        case MouseStep::Move:
            move(step.pos, step.button);
            break;
        }
    }
    EXPECT_EQ(clicks.count(), GetParam().clicks);
    EXPECT_EQ(moves.count(), GetParam().moves);
}

const QPoint kInside(300, 300);
const QPoint kOutside(1100, 300);
constexpr auto kPress = MouseStep::Press;
constexpr auto kRelease = MouseStep::Release;
constexpr auto kLeft = Qt::LeftButton;

INSTANTIATE_TEST_SUITE_P(
    Table, ChartClicks,
    ::testing::Values(
        ClickRow{"PressAloneIsNoClick", {{kPress, kLeft, kInside}}, 0, 0},
        ClickRow{"PressAndReleaseIsOneClick", {{kPress, kLeft, kInside}, {kRelease, kLeft, kInside}}, 1, 0},
        // The second press of a double-click is no click.
        ClickRow{"DoubleClickIsOneClick",
                 {{kPress, kLeft, kInside}, {kRelease, kLeft, kInside}, {MouseStep::DoubleClick, kLeft, kInside},
                  {kRelease, kLeft, kInside}},
                 1, 0},
        // Every move is reported, also outside the chart while the drag lasts.
        ClickRow{"DragReleasedOverTheChartIsOneClick",
                 {{kPress, kLeft, kInside}, {MouseStep::Move, kLeft, {400, 350}}, {MouseStep::Move, kLeft, kOutside},
                  {MouseStep::Move, kLeft, {600, 500}}, {kRelease, kLeft, {600, 500}}},
                 1, 3},
        ClickRow{"ReleaseOutsideIsNoClick", {{kPress, kLeft, kInside}, {kRelease, kLeft, kOutside}}, 0, 0},
        ClickRow{"RightButtonIsNoClick",
                 {{kPress, Qt::RightButton, kInside}, {kRelease, Qt::RightButton, kInside}}, 0, 0},
        // The press went elsewhere: no press of ours is pending.
        ClickRow{"ReleaseWithoutPressIsNoClick", {{kRelease, kLeft, kInside}}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartEventsTest, MoveIsReportedBeforeTheHoverHighlight)
{
    chart.Series1()->AddXY(10.5, 10.5);
    const QPoint point(263, 441); // (10.5, 10.5) cm: column 262.73, row 441.05
    const QPoint ring = point + QPoint(5, 0); // just outside the circle
    QVector<QColor> seenBySlot;
    QObject::connect(&chart, &TChart::mouseMoved, &chart,
            [&] { seenBySlot.push_back(at(chart.renderImage(), ring.x(), ring.y())); });

    move(point);
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(seenBySlot.at(0), kWhite);
    EXPECT_TRUE(isRed(at(chart.renderImage(), ring.x(), ring.y())));

    move(point + QPoint(40, 40));
    EXPECT_EQ(at(chart.renderImage(), ring.x(), ring.y()), kWhite);
}

TEST_F(ChartEventsTest, HoveredOutlineSegmentTurnsRed)
{
    addOutlines(chart);
    // The left outline's point 50: angle 2 pi * 51 / 200 on the circle of
    // 1.45 cm about (9.35, 15) cm, (9.305, 16.449) cm: column 235.89, row 306.79.
    const QPoint onLine(236, 307);
    EXPECT_EQ(at(chart.renderImage(), onLine.x(), onLine.y()), kBlack);
    move(onLine);
    EXPECT_EQ(at(chart.renderImage(), onLine.x(), onLine.y()), kRed);
}

TEST_F(ChartEventsTest, ChangesOnlyScheduleOneRepaint)
{
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    PaintCounter paints(&chart);

    addOutlines(chart);
    chart.Series1()->AddXY(5, 5);
    chart.setMarksVisible(true);
    chart.Series1()->Delete(0);
    EXPECT_EQ(paints.seen(), 0) << "painted at once instead of scheduled";
    EXPECT_EQ(paints.settle(), 1);
}

// --- Rendering ---------------------------------------------------------------

class ChartImageTest : public ChartTest {
protected:
    void SetUp() override { addOutlines(chart); }
};

// Pixels worked out from the calibration by hand: x cm is drawn at column
// 27 + x * 962 / 42.85 and y cm at row 678 - y * 677 / 30, rounded.
TEST_F(ChartImageTest, GridAxesAndFrameSitOnTheCalibratedPixels)
{
    const QImage image = chart.renderImage(1.0);
    ASSERT_EQ(image.size(), QSize(1000, 700));
    const int midRow = 622; // y = 2.5: 621.58
    const int midCol = 83;  // x = 2.5: 83.13
    // x = 1, 2, 17, 42: 49.45, 71.90, 408.66, 969.92.
    for (int column : {49, 72, 409, 970}) {
        SCOPED_TRACE(column);
        EXPECT_EQ(at(image, column, midRow), kSilver);
        EXPECT_EQ(at(image, column - 1, midRow), kWhite);
        EXPECT_EQ(at(image, column + 1, midRow), kWhite);
    }
    // y = 1, 2, 29: 655.43, 632.87, 23.57.
    for (int row : {655, 633, 24}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(at(image, midCol, row), kSilver);
        EXPECT_EQ(at(image, midCol, row - 1), kWhite);
        EXPECT_EQ(at(image, midCol, row + 1), kWhite);
    }
    EXPECT_EQ(at(image, 38, 667), kWhite); // x = y = 0.5: inside the first square

    // Frame: x = 0 and y = 0 lines with the 2 px axes outside them,
    // x = 42.83 and y = 30 edges 1 px, 11 px in from the right, 1 px from the top.
    for (QPoint p : {QPoint(26, midRow), QPoint(27, midRow), QPoint(midCol, 678), QPoint(midCol, 679),
                     QPoint(989, midRow), QPoint(midCol, 1)})
        EXPECT_EQ(at(image, p.x(), p.y()), kBlack) << p.x() << "," << p.y();
    EXPECT_EQ(at(image, 990, midRow), kWhite);
    EXPECT_EQ(at(image, midCol, 0), kWhite);
    EXPECT_EQ(at(image, 25, 624), kWhite); // y = 2.4: no tick there

    // Ticks outside the axes, gray: 4 px at labels, 2 px between them.
    // x = 10 and 10.25 at columns 251.50 and 257.12; y = 10 and 10.5 at rows
    // 452.33 and 441.05.
    EXPECT_EQ(at(image, 252, 683), QColor(128, 128, 128));
    EXPECT_EQ(at(image, 252, 684), kWhite);
    EXPECT_EQ(at(image, 257, 681), QColor(128, 128, 128));
    EXPECT_EQ(at(image, 257, 682), kWhite);
    EXPECT_EQ(at(image, 22, 452), QColor(128, 128, 128));
    EXPECT_EQ(at(image, 24, 441), QColor(128, 128, 128));
    EXPECT_EQ(at(image, 23, 441), kWhite);

    // Labels: text under the bottom ticks and left of the left ones; none
    // under x = 10.5 (column 262.73), between two labels.
    EXPECT_GT(darkPixelsIn(image, QRect(252 - 6, 685, 13, 13)), 0);
    EXPECT_GT(darkPixelsIn(image, QRect(2, 452 - 5, 19, 11)), 0);
    EXPECT_EQ(darkPixelsIn(image, QRect(263 - 3, 685, 7, 13)), 0);
}

TEST_F(ChartImageTest, OutlinesAndPointsOnTheirCalibratedPixels)
{
    chart.Series1()->AddXY(20.5, 10.5);
    const QImage image = chart.renderImage();
    // Outline point i lies at angle 2 pi * (i + 1) / 200 on the circles of
    // 1.45 cm about (9.35, 15) and (33.5, 15) cm; the ends have flat caps.
    struct OnOutline {
        int i;
        QPoint left;
        QPoint right;
    };
    const OnOutline onOutlines[] = {
        {1, {269, 337}, {812, 337}},   // x 10.797, 34.947; y 15.091: columns 269.40, 811.58; row 337.45
        {50, {236, 307}, {778, 307}},  // 9.305, 33.455; 16.449: 235.89, 778.07; 306.79
        {100, {204, 341}, {747, 341}}, // 7.901, 32.051; 14.955: 204.37, 746.55; 340.53
        {150, {238, 372}, {780, 372}}, // 9.396, 33.546; 13.551: 237.93, 780.11; 372.21
        {198, {269, 341}, {812, 341}}, // 10.799, 34.949; 14.955: 269.45, 811.63; 340.53
    };
    for (const OnOutline& o : onOutlines) {
        for (const QPoint& p : {o.left, o.right})
            EXPECT_EQ(at(image, p.x(), p.y()), kBlack) << o.i;
    }
    // Inside the electrode nothing is drawn: the outline is not filled.
    // (9.35, 14.5) cm: column 236.91, row 350.78.
    EXPECT_EQ(at(image, 237, 351), kWhite);

    // (20.5, 10.5) cm: column 27 + 460.23, row 678 - 236.95.
    EXPECT_EQ(at(image, 487, 441), kRed);
    EXPECT_EQ(at(image, 489, 441), kRed);
    EXPECT_EQ(at(image, 492, 441), kWhite);
}

TEST_F(ChartImageTest, PointOutsideTheAxesIsClippedButItsLabelShows)
{
    const QImage empty = chart.renderImage();
    chart.Series1()->AddXY(-0.5, 12.5); // on the strip of the left axis labels
    chart.Series1()->AddXY(20.0, -0.4); // just below the bottom axis
    EXPECT_EQ(chart.renderImage(), empty);

    chart.setMarksVisible(true);
    const QImage labelled = chart.renderImage();
    // Only the two labels appeared, above their points.
    // (-0.5, 12.5) cm: column 15.77, row 395.92; (20, -0.4) cm: 476.01, 687.03.
    const QRect nearFirst(16 - 15, 396 - 30, 30, 31);
    const QRect nearSecond(476 - 15, 687 - 30, 30, 31);
    EXPECT_FALSE(differingArea(empty, labelled, nearSecond).isEmpty());
    EXPECT_TRUE(nearFirst.contains(differingArea(empty, labelled, nearSecond)));
    EXPECT_FALSE(differingArea(empty, labelled, nearFirst).isEmpty());
    EXPECT_TRUE(nearSecond.contains(differingArea(empty, labelled, nearFirst)));
}

TEST_F(ChartImageTest, MarksToggleShowsAndHidesTheLabelAboveThePoint)
{
    chart.Series1()->AddXY(20.5, 20.5);
    const QImage plain = chart.renderImage();
    const QPoint p(487, 215); // (20.5, 20.5) cm: column 487.23, row 215.38
    const QRect label(p.x() - 8, p.y() - 24, 17, 17); // box bottom 8 px above the centre

    chart.setMarksVisible(true);
    const QImage marked = chart.renderImage();
    EXPECT_GT(darkPixelsIn(marked, label), 0);
    EXPECT_EQ(darkPixelsIn(plain, label), 0);
    EXPECT_EQ(at(plain, p.x(), p.y() - 2), kRed);
    EXPECT_EQ(at(marked, p.x(), p.y() - 2), kWhite); // the callout crosses the circle
    EXPECT_TRUE(QRect(p.x() - 10, p.y() - 26, 25, 32).contains(differingArea(plain, marked)));

    chart.setMarksVisible(false);
    EXPECT_EQ(chart.renderImage(), plain);
}

// Drawing is cached and brought up to date piecemeal; the result must not
// depend on the way the chart got to its points.
TEST_F(ChartImageTest, IncrementalUpdatesMatchAFreshChart)
{
    // Includes points under older labels and labels pushed aside.
    const QVector<QPointF> points = {{5, 5}, {20, 15}, {20, 15.3}, {30, 10}, {20.1, 14.5}, {-1, 3}};
    for (qreal dpr : {1.0, 1.5}) {
        for (bool marks : {false, true}) {
            SCOPED_TRACE(testing::Message() << "dpr " << dpr << " marks " << marks);
            TChart stepwise(kMapping);
            addOutlines(stepwise);
            stepwise.setMarksVisible(marks);
            for (const QPointF& p : points) {
                stepwise.Series1()->AddXY(p.x(), p.y());
                (void)stepwise.renderImage(dpr);
            }
            stepwise.Series1()->Delete(stepwise.Series1()->LastValueIndex());
            (void)stepwise.renderImage(dpr);
            stepwise.Series1()->Delete(1);
            (void)stepwise.renderImage(dpr);
            stepwise.Series1()->AddXY(8, 8);

            TChart fresh(kMapping);
            addOutlines(fresh);
            fresh.setMarksVisible(marks);
            for (const QPointF& p : {points[0], points[2], points[3], points[4], QPointF(8, 8)})
                fresh.Series1()->AddXY(p.x(), p.y());
            EXPECT_EQ(stepwise.renderImage(dpr), fresh.renderImage(dpr));
        }
    }
}

// Undoing the last point repaints only what it and its label covered, and
// an added point only what it touches, from the points near it: after every
// step of each sequence, each picture equals a fresh chart's of the same
// points. 'a' adds the next point, 'u' removes the last one, 'r' renders at
// ratio 1, 'o' at 1.5 (a layer that falls behind). The crowd is a lattice
// over several of the cells points are looked up by, sprites across their
// borders.
TEST_F(ChartImageTest, AddingAndRemovingTheLastPointMatchesAFreshChart)
{
    // Points under older labels, labels pushed aside, one off the plot.
    const QVector<QPointF> few = {{20, 15}, {20, 15.3}, {20.1, 14.5}, {5, 5}, {20.05, 15.1}, {-1, 3}, {30, 10}};
    QVector<QPointF> crowd;
    for (int i = 0; i < 64; ++i)
        crowd.append(QPointF(19.0 + (i % 8) * 0.25, 13.0 + (i / 8) * 0.25));
    const struct {
        const QVector<QPointF>* points;
        std::string sequence;
    } cases[] = {
        {&few, "arararararararururururururur"}, // one at a time, as a student clicks
        {&few, "aaaaaaaruuraaru"},              // several between pictures
        {&few, "aaaaaaaoruuuauoruraro"},        // another layer falls behind
        {&few, "aaaaaaaruaruaruaruaru"},        // remove and add again without a picture between
        {&crowd, std::string(40, 'a') + "r" + std::string(20, 'u') + "r" + "arararuruoaaaaar"},
    };
    for (const auto& c : cases) {
        const QVector<QPointF>& points = *c.points;
        for (bool marks : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.sequence << " marks " << marks);
            TChart stepwise(kMapping);
            addOutlines(stepwise);
            stepwise.setMarksVisible(marks);
            int count = 0;
            for (std::size_t step = 0; step < c.sequence.size(); ++step) {
                if (c.sequence[step] == 'a') {
                    const QPointF p = points[count % points.size()];
                    stepwise.Series1()->AddXY(p.x(), p.y());
                    ++count;
                    continue;
                }
                if (c.sequence[step] == 'u') {
                    stepwise.Series1()->Delete(stepwise.Series1()->LastValueIndex());
                    --count;
                    continue;
                }
                const qreal dpr = c.sequence[step] == 'r' ? 1.0 : 1.5;
                TChart fresh(kMapping);
                addOutlines(fresh);
                fresh.setMarksVisible(marks);
                for (int i = 0; i < count; ++i)
                    fresh.Series1()->AddXY(points[i % points.size()].x(), points[i % points.size()].y());
                ASSERT_EQ(stepwise.renderImage(dpr), fresh.renderImage(dpr)) << "at step " << step;
            }
        }
    }
}

TEST_F(ChartImageTest, OverlappingLabelsAreMovedApart)
{
    chart.setMarksVisible(true);
    chart.Series1()->AddXY(20.5, 20.5);
    const QImage one = chart.renderImage();
    chart.Series1()->AddXY(20.5, 20.5);
    const QImage two = chart.renderImage();
    // The second label went straight above the first, leaving it in place
    // (the circle drawn twice differs only in its anti-aliased rim).
    // (20.5, 20.5) cm: column 487.23, row 215.38.
    const QRect circle(487 - 4, 215 - 4, 9, 9);
    const QRect changed = differingArea(one, two, circle);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_LT(changed.bottom(), 215 - 8 - 10);
    EXPECT_GT(darkPixelsIn(two, changed), 0);
}

TEST_F(ChartImageTest, RendersAtTheRequestedPixelRatio)
{
    const QImage image = chart.renderImage(1.5);
    EXPECT_EQ(image.size(), QSize(1500, 1050));
    EXPECT_DOUBLE_EQ(image.devicePixelRatio(), 1.5);
    // Across y = 2.5 (621.58 logical px, device row 932): the line x = 1
    // (49.45, device 74.18) and inside the square at x = 0.5 (38.23, 57.34).
    EXPECT_EQ(at(image, 74, 932), kSilver);
    EXPECT_EQ(at(image, 57, 932), kWhite);
    // The 1.0 picture is unaffected by the other ratio's cache.
    EXPECT_EQ(at(chart.renderImage(1.0), 49, 622), kSilver);
}

// On a scaled display a grid line is round(ratio) device px wide, on the
// device px nearest its exact place (value * ratio): one px, the nearest;
// two px, the pair either side of it. So the px a user clicks on a drawn line
// measures within a device px of its value, whatever the ratio.
struct ScaledLineRow {
    const char* name;
    qreal dpr;
    bool column; // a line of the bottom axis, else one of the left axis
    double value; // cm
    int first;    // first device px it covers
    int width;    // device px
    int across;   // device px along the line, inside a grid square
};

void PrintTo(const ScaledLineRow& r, std::ostream* os) { *os << r.name; }

class ScaledGridLines : public ChartImageTest, public ::testing::WithParamInterface<ScaledLineRow> {};

TEST_P(ScaledGridLines, CoverTheDevicePixelsOfTheirValue)
{
    const ScaledLineRow& r = GetParam();
    const QImage image = chart.renderImage(r.dpr);
    const auto pixel = [&](int along) {
        return r.column ? at(image, along, r.across) : at(image, r.across, along);
    };
    EXPECT_EQ(pixel(r.first - 1), kWhite);
    for (int k = 0; k < r.width; ++k)
        EXPECT_EQ(pixel(r.first + k), kSilver) << "px " << r.first + k;
    EXPECT_EQ(pixel(r.first + r.width), kWhite);
}

// Exact places in logical px: 27 + x * 962 / 42.85 and 678 - y * 677 / 30.
// Lines are crossed half-way between grid lines: x = 2.5 is 83.13 logical px,
// y = 2.5 is 621.58.
INSTANTIATE_TEST_SUITE_P(
    Table, ScaledGridLines,
    ::testing::Values(
        ScaledLineRow{"X1At125", 1.25, true, 1, 62, 1, 777},      // 49.45 * 1.25 = 61.81
        ScaledLineRow{"X17At125", 1.25, true, 17, 511, 1, 777},   // 408.66 * 1.25 = 510.82
        ScaledLineRow{"X42At125", 1.25, true, 42, 1212, 1, 777},  // 969.92 * 1.25 = 1212.40
        ScaledLineRow{"Y1At125", 1.25, false, 1, 819, 1, 104},    // 655.43 * 1.25 = 819.29
        ScaledLineRow{"Y29At125", 1.25, false, 29, 29, 1, 104},   // 23.57 * 1.25 = 29.46
        ScaledLineRow{"X1At150", 1.5, true, 1, 74, 2, 932},       // 74.18: 74 and 75
        ScaledLineRow{"X29At150", 1.5, true, 29, 1017, 2, 932},   // 678.06 * 1.5 = 1017.09
        ScaledLineRow{"X42At150", 1.5, true, 42, 1454, 2, 932},   // 1454.88
        ScaledLineRow{"Y17At150", 1.5, false, 17, 441, 2, 125},   // 294.37 * 1.5 = 441.55
        ScaledLineRow{"Y29At150", 1.5, false, 29, 35, 2, 125},    // 35.35
        ScaledLineRow{"X2At200", 2.0, true, 2, 143, 2, 1243},     // 71.90 * 2 = 143.80
        ScaledLineRow{"X42At200", 2.0, true, 42, 1939, 2, 1243},  // 1939.83
        ScaledLineRow{"Y1At200", 2.0, false, 1, 1310, 2, 166},    // 1310.87
        ScaledLineRow{"Y29At200", 2.0, false, 29, 47, 2, 166}),   // 47.13
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace potencor::ui
