#pragma once
// Chart1: the chart's scene (chart/scene.h) in a window. Mouse events become
// the OnClick and OnMouseMove events and the scene's hover highlight; the
// scene asks for its repaints. For the keyboard it keeps a probe: a screen
// pixel of the plot that the keys move and Enter or Space measure at, drawn
// over the scene only while the chart has the focus and a key has moved it.
#include "chart/scene.h"
#include "core/calibration.h"

#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

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
    // Never the keyboard probe: it is the widget's, not the picture's.
    QImage renderImage(qreal devicePixelRatio = 1.0) const { return scene_.renderImage(devicePixelRatio); }

    ChartScene& scene() { return scene_; }

    // ---- The keyboard probe ----

    // Chart logical px, on a screen pixel of the plot. It follows the mouse
    // over the chart; a key that finds it hidden starts it under the mouse
    // when the mouse is over the chart, else where it was (at first the
    // plot's centre).
    QPointF probe() const { return probe_; }
    // A key moved it while the chart has the focus; losing the focus hides it.
    bool probeShown() const { return probeShown_; }
    // Shift+arrow: the chart px, along the axis, of the next 0.5 cm grid
    // line's pixel from the probe, towards larger (+1) or smaller (-1) px.
    // The window answers it from the calibration; the probe stays in the plot.
    using GridStep = std::function<double(QPointF probe, Qt::Orientation axis, int direction)>;
    void setGridStep(GridStep step) { gridStep_ = std::move(step); }

    // ---- For screen readers ----

    // The chart's accessible value: the reading at the probe or the pointer,
    // or what a measurement just did, and as a number the potential it
    // read (kept when the text carries none). A change is sent to assistive
    // technology as a value change.
    void setAccessibleValue(const QString& text, std::optional<double> potential_V = std::nullopt);
    const QString& accessibleValue() const { return accessibleValue_; }
    std::optional<double> accessiblePotential_V() const { return accessiblePotential_V_; }

signals:
    // OnClick: left button pressed on the chart and released over it; the
    // second press of a double-click does not count; never the right button.
    void clicked();
    // OnMouseMove: every pointer movement over the chart (and outside it
    // while a drag that began on it goes on), before the hover highlight.
    void mouseMoved();
    // A key moved the probe (or found it at its place): the readout follows.
    void probeMoved();
    // Enter or Space: a measurement at the probe, as a click on its pixel.
    void probeClicked();
    // Ctrl+Z on the chart: the last point goes.
    void undoRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The screen pixel of the plot nearest to `chartPx`.
    QPointF inPlot(QPointF chartPx) const;
    void showProbe();
    void moveProbe(QPointF to);
    void paintProbe(QPainter& p) const;
    void pointsMaybeChanged();

    ChartScene scene_;
    bool leftPressed_ = false;
    QPointF probe_;
    bool probeShown_ = false;
    bool mouseOver_ = false; // a mouse event came since the pointer last left
    QPointF mouse_;          // where it came
    GridStep gridStep_;
    QString accessibleValue_;
    std::optional<double> accessiblePotential_V_;
    int accessiblePoints_ = 0;
};

} // namespace potencor::ui
