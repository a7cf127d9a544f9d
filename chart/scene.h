#pragma once
// The chart's picture without a window: the measurement plane with fixed axes
// in cm (x 0..42.83, y 0..30), a 1 cm grid, the electrode outlines and the
// measured points. The plot rectangle follows from the screen calibration, so
// what is drawn and what a click measures agree. It paints on any QPainter,
// so the program's window and the checker's offscreen plots draw the same
// pixels; Qt Gui is all it needs.
#include "chart/layout.h"
#include "core/calibration.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QVector>

#include <memory>

class QPainter;

namespace potencor::ui {

class ChartScene;

// One series of chart points (x, y in cm), held in insertion order.
class Series {
public:
    // Appends (x, y) and returns its index (the count before the call). Its
    // label is its index, or the number given (a point read back from a file).
    int AddXY(double x_cm, double y_cm);
    int AddXY(double x_cm, double y_cm, int label);
    // All the points at once, in place of those there were (a session
    // opened or restored); labels as AddXY() takes them, one a point.
    void Assign(QVector<QPointF> points, QVector<int> labels);
    // Removes the point at index; throws potencor::Error
    // "Series Delete: ValueIndex %d out of bounds (0 to %d)." when out of range.
    void Delete(int index);
    // Index of the last point, -1 when empty.
    int LastValueIndex() const { return static_cast<int>(points_.size()) - 1; }
    int Count() const { return static_cast<int>(points_.size()); }
    const QVector<QPointF>& points() const { return points_; }
    int label(int index) const { return labels_[index] < 0 ? index : labels_[index]; }

private:
    friend class ChartScene;
    explicit Series(ChartScene* scene) : scene_(scene) {}
    ChartScene* scene_;
    QVector<QPointF> points_;
    QVector<int> labels_; // -1: the point's index
};

class ChartScene : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidthPx = 1000;
    static constexpr int kHeightPx = 700;

    // What the pointer is over: it is drawn in red.
    struct HoverTarget {
        enum class Kind { None, Point, Segment, BottomLabel, LeftLabel };
        Kind kind = Kind::None;
        const Series* series = nullptr;
        int index = -1; // the point, the first point of the segment, or the label
        bool operator==(const HoverTarget&) const = default;
    };

    // Needs the fonts, hence a QGuiApplication.
    explicit ChartScene(const calibration::ChartMapping& mapping, QObject* parent = nullptr);
    ~ChartScene() override;

    Series* Series1() { return &series1_; } // measured points
    Series* Series2() { return &series2_; } // left electrode outline
    Series* Series3() { return &series3_; } // right electrode outline

    // Thin lines (cm) over the grid and under the points, with labels: the
    // checker's equipotentials. The program's window has none.
    struct BackdropLabel {
        QPointF cm; // the label's lower left
        QString text;
    };
    void setBackdrop(QVector<QPolygonF> linesCm, QVector<BackdropLabel> labels);

    // Series1.Marks.Visible: the point labels (each point's index).
    void setMarksVisible(bool visible);
    bool marksVisible() const { return marksVisible_; }

    const calibration::ChartMapping& mapping() const { return layout_.mapping; }
    const ChartLayout& layout() const { return layout_; }

    // What lies under the pointer at `pos` (logical px): outlines over
    // points, later points over earlier ones; outside the plot, axis labels.
    HoverTarget hitTest(QPointF pos) const;
    // Highlights what lies under the pointer at `pos`; clearHover() for a
    // pointer that left.
    void hoverAt(QPointF pos);
    void clearHover();
    const HoverTarget& hover() const { return hover_; }

    // The whole chart, 1000 x 700 logical px from the painter's origin. The
    // painter works in logical px over a device of `devicePixelRatio` device
    // px per logical px (a widget's painter, or an image's with that ratio
    // set). Brings its cached layers up to date, then paints from them.
    void paint(QPainter& painter, qreal devicePixelRatio) const;
    // The same in an image of its own, 1000 x 700 times the ratio.
    QImage renderImage(qreal devicePixelRatio = 1.0) const;

signals:
    // The picture changed (points, labels, hover): paint it again. Several
    // changes in a row each say so; a widget's update() gathers them.
    void changed();

private:
    friend class Series;
    void seriesAppended(Series* series);
    void seriesRemoved(Series* series, int index, QPointF removed);
    void seriesAssigned(Series* series);
    void setHover(const HoverTarget& target);

    const ChartLayout layout_;
    Series series1_{this};
    Series series2_{this};
    Series series3_{this};
    bool marksVisible_ = false;
    QVector<QPolygonF> backdrop_;
    QVector<BackdropLabel> backdropLabels_;
    HoverTarget hover_;
    struct Impl;
    std::unique_ptr<Impl> impl_; // label places and cached layers
};

// The two electrodes' outlines (the core's field model) as Series2 and Series3.
void addElectrodeOutlines(ChartScene& scene);

} // namespace potencor::ui
