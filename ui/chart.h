#pragma once
// Chart1: the chart's scene (chart/scene.h) in a window. Mouse events become
// the OnClick and OnMouseMove events and the scene's hover highlight; the
// scene asks for its repaints.
#include "chart/scene.h"
#include "core/calibration.h"

#include <QImage>
#include <QWidget>

namespace potencor::ui {

class TChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidthPx = ChartScene::kWidthPx;
    static constexpr int kHeightPx = ChartScene::kHeightPx;

    explicit TChart(const calibration::ChartMapping& mapping, QWidget* parent = nullptr);
    ~TChart() override;

    Series* Series1() { return scene_.Series1(); } // measured points
    Series* Series2() { return scene_.Series2(); } // left electrode outline
    Series* Series3() { return scene_.Series3(); } // right electrode outline

    // Series1.Marks.Visible: the point labels (each point's index).
    void setMarksVisible(bool visible) { scene_.setMarksVisible(visible); }
    bool marksVisible() const { return scene_.marksVisible(); }

    const calibration::ChartMapping& mapping() const { return scene_.mapping(); }

    // The whole control as currently shown (labels, hover highlight), at the
    // given device-pixel ratio: 1000 x 700 logical pixels times the ratio.
    QImage renderImage(qreal devicePixelRatio = 1.0) const { return scene_.renderImage(devicePixelRatio); }

    ChartScene& scene() { return scene_; }

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
    ChartScene scene_;
    bool leftPressed_ = false;
};

} // namespace potencor::ui
