#include "ui/chart.h"

#include "ui/accessibility.h"

#include <QAccessible>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace potencor::ui {

TChart::TChart(const calibration::ChartMapping& mapping, QWidget* parent)
    : QWidget(parent), scene_(mapping)
{
    installAccessibleFactory();
    setFixedSize(kWidthPx, kHeightPx);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel comes from the scene
    setAccessibleName(QStringLiteral("Плоскость измерений %1 × %2 см")
                          .arg(formatAxisValue(kAxisMaxXcm, locale()), formatAxisValue(kAxisMaxYcm, locale())));
    const QRect plot = scene_.layout().plot;
    probe_ = inPlot(QPointF((plot.left() + plot.right()) / 2, (plot.top() + plot.bottom()) / 2));
    // Changes in a row are painted once, when control returns to the event loop.
    connect(&scene_, &ChartScene::changed, this, qOverload<>(&QWidget::update));
    connect(&scene_, &ChartScene::changed, this, &TChart::pointsMaybeChanged);
}

TChart::~TChart() = default;

void TChart::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    scene_.paint(p, devicePixelRatioF());
    if (probeShown_ && hasFocus())
        paintProbe(p);
}

void TChart::paintProbe(QPainter& p) const
{
    // The focus frame: the chart's outer two pixels, in the colour of the probe.
    const QColor colour = palette().color(QPalette::Highlight);
    constexpr int kFramePx = 2;
    p.fillRect(QRect(0, 0, width(), kFramePx), colour);
    p.fillRect(QRect(0, height() - kFramePx, width(), kFramePx), colour);
    p.fillRect(QRect(0, 0, kFramePx, height()), colour);
    p.fillRect(QRect(width() - kFramePx, 0, kFramePx, height()), colour);

    // Four arms round the probe's pixel, which itself stays uncovered, so
    // that the point or line under it can still be seen. Device px.
    const qreal dpr = devicePixelRatioF();
    const int x = static_cast<int>(std::lround(probe_.x() * dpr));
    const int y = static_cast<int>(std::lround(probe_.y() * dpr));
    const int gap = static_cast<int>(std::lround(3 * dpr));
    const int reach = static_cast<int>(std::lround(10 * dpr));
    const int thick = std::max(1, static_cast<int>(std::lround(dpr)));
    const int arm = reach - gap + 1;
    const int across = (thick - 1) / 2;
    p.save();
    p.scale(1 / dpr, 1 / dpr);
    p.fillRect(QRect(x - reach, y - across, arm, thick), colour);
    p.fillRect(QRect(x + gap, y - across, arm, thick), colour);
    p.fillRect(QRect(x - across, y - reach, thick, arm), colour);
    p.fillRect(QRect(x - across, y + gap, thick, arm), colour);
    p.restore();
}

void TChart::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        leftPressed_ = true;
    event->accept();
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Stands for the second press of a double-click, which is no click:
    // the release that follows finds no press pending.
    event->accept();
}

void TChart::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !leftPressed_)
        return;
    leftPressed_ = false;
    const QPointF pos = event->position();
    if (QRectF(rect()).contains(pos))
        emit clicked();
}

void TChart::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    // Only a pointer that moved takes the probe along: a move the window
    // system repeats at the same place leaves a probe the keys have moved.
    if (!mouseOver_ || event->position() != mouse_) {
        const QPointF at = inPlot(event->position());
        if (probeShown_ && at != probe_)
            update();
        probe_ = at;
    }
    mouseOver_ = true;
    mouse_ = event->position();
    emit mouseMoved();
    scene_.hoverAt(event->position());
}

void TChart::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    mouseOver_ = false;
    scene_.clearHover();
}

QPointF TChart::inPlot(QPointF chartPx) const
{
    const QRect plot = scene_.layout().plot;
    const qreal dpr = devicePixelRatioF();
    const auto fit = [dpr](double v, int first, int last) {
        double px = std::round(std::clamp(v, static_cast<double>(first), static_cast<double>(last)) * dpr) / dpr;
        if (std::floor(px) < first)
            px += 1 / dpr;
        if (std::floor(px) > last)
            px -= 1 / dpr;
        return px;
    };
    return {fit(chartPx.x(), plot.left(), plot.right()), fit(chartPx.y(), plot.top(), plot.bottom())};
}

void TChart::showProbe()
{
    if (probeShown_)
        return;
    if (mouseOver_)
        probe_ = inPlot(mouse_);
    else if (underMouse()) // entered, and not moved since
        probe_ = inPlot(mapFromGlobal(QPointF(QCursor::pos())));
    probeShown_ = true;
    update();
}

void TChart::moveProbe(QPointF to)
{
    to = inPlot(to);
    if (to != probe_) {
        probe_ = to;
        update();
    }
    emit probeMoved();
}

void TChart::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Undo)) {
        emit undoRequested();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = modifiers == Qt::ShiftModifier;
    if (modifiers != Qt::NoModifier && !shift) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        if (shift) {
            QWidget::keyPressEvent(event);
            return;
        }
        // A held key is one click, as a held mouse button is.
        if (!event->isAutoRepeat()) {
            showProbe();
            emit probeClicked();
        }
        return;
    }

    const QRect plot = scene_.layout().plot;
    const auto along = [&](Qt::Orientation axis, int direction) {
        const double from = axis == Qt::Horizontal ? probe_.x() : probe_.y();
        if (!shift)
            return from + direction;
        return gridStep_ ? gridStep_(probe_, axis, direction) : from;
    };
    QPointF to;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
        showProbe();
        to = {along(Qt::Horizontal, key == Qt::Key_Left ? -1 : 1), probe_.y()};
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        showProbe();
        to = {probe_.x(), along(Qt::Vertical, key == Qt::Key_Up ? -1 : 1)};
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        showProbe();
        to = {static_cast<double>(key == Qt::Key_Home ? plot.left() : plot.right()), probe_.y()};
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        showProbe();
        to = {probe_.x(), static_cast<double>(key == Qt::Key_PageUp ? plot.top() : plot.bottom())};
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    moveProbe(to);
}

void TChart::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    if (probeShown_) {
        probeShown_ = false;
        update();
    }
}

void TChart::setAccessibleValue(const QString& text, std::optional<double> potential_V)
{
    if (potential_V)
        accessiblePotential_V_ = potential_V;
    if (text == accessibleValue_)
        return;
    const QString before = std::exchange(accessibleValue_, text);
    if (!QAccessible::isActive())
        return;
    QAccessibleValueChangeEvent changed(this, accessiblePotential_V_ ? QVariant(*accessiblePotential_V_) : QVariant());
    QAccessible::updateAccessibility(&changed);
    // The same as text, for readers that take the text with the event.
    QAccessibleTextUpdateEvent replaced(this, 0, before, accessibleValue_);
    QAccessible::updateAccessibility(&replaced);
}

void TChart::pointsMaybeChanged()
{
    const int count = scene_.Series1()->Count();
    if (count == accessiblePoints_)
        return;
    accessiblePoints_ = count;
    if (QAccessible::isActive()) {
        QAccessibleEvent described(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&described);
    }
}

} // namespace potencor::ui
