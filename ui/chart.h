#pragma once
// Chart1: the painted picture of the measurement plane. Fixed axes in cm
// (x 0..42.83, y 0..30), a 1 cm grid, the electrode outlines and the measured
// points. The plot rectangle follows from the screen calibration, so what is
// drawn and what a click measures agree.
#include "core/calibration.h"

#include <QImage>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <memory>

namespace potencor::ui {

class TChart;

// One series of chart points (x, y in cm), held in insertion order.
class Series {
public:
    // Appends (x, y) and returns its index (the count before the call). Its
    // label is its index, or the number given (a point read back from a file).
    int AddXY(double x_cm, double y_cm);
    int AddXY(double x_cm, double y_cm, int label);
    // Removes the point at index; throws potencor::Error
    // "Series Delete: ValueIndex %d out of bounds (0 to %d)." when out of range.
    void Delete(int index);
    // Index of the last point, -1 when empty.
    int LastValueIndex() const { return static_cast<int>(points_.size()) - 1; }
    int Count() const { return static_cast<int>(points_.size()); }
    const QVector<QPointF>& points() const { return points_; }
    int label(int index) const { return labels_[index] < 0 ? index : labels_[index]; }

private:
    friend class TChart;
    explicit Series(TChart* chart) : chart_(chart) {}
    TChart* chart_;
    QVector<QPointF> points_;
    QVector<int> labels_; // -1: the point's index
};

class TChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidthPx = 1000;
    static constexpr int kHeightPx = 700;

    explicit TChart(const calibration::ChartMapping& mapping, QWidget* parent = nullptr);
    ~TChart() override;

    Series* Series1() { return &series1_; } // measured points
    Series* Series2() { return &series2_; } // left electrode outline
    Series* Series3() { return &series3_; } // right electrode outline

    // Series1.Marks.Visible: the point labels (each point's index).
    void setMarksVisible(bool visible);
    bool marksVisible() const { return marksVisible_; }

    const calibration::ChartMapping& mapping() const { return mapping_; }

    // The whole control as currently shown (labels, hover highlight), at the
    // given device-pixel ratio: 1000 x 700 logical pixels times the ratio.
    QImage renderImage(qreal devicePixelRatio = 1.0) const;

signals:
    // OnClick: left button pressed on the chart and released over it; the
    // second press of a double-click does not count; never the right button.
    void clicked();
    // OnMouseMove: every pointer movement over the chart (and outside it
    // while a drag that began on it goes on), before the hover highlight.
    void mouseMoved();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    friend class Series;
    void seriesAppended(Series* series);
    void seriesRemoved(Series* series, int index);
    void updateHover(QPointF pos);

    calibration::ChartMapping mapping_;
    Series series1_{this};
    Series series2_{this};
    Series series3_{this};
    bool marksVisible_ = false;
    bool leftPressed_ = false;
    struct Impl;
    std::unique_ptr<Impl> impl_; // cached layers and hover state
};

} // namespace potencor::ui
