#include "ui/chart.h"

#include <QMouseEvent>
#include <QPainter>

namespace potencor::ui {

TChart::TChart(const calibration::ChartMapping& mapping, QWidget* parent)
    : QWidget(parent), scene_(mapping)
{
    setFixedSize(kWidthPx, kHeightPx);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel comes from the scene
    // Changes in a row are painted once, when control returns to the event loop.
    connect(&scene_, &ChartScene::changed, this, qOverload<>(&QWidget::update));
}

TChart::~TChart() = default;

void TChart::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    scene_.paint(p, devicePixelRatioF());
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
    emit mouseMoved();
    scene_.hoverAt(event->position());
}

void TChart::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    scene_.clearHover();
}

} // namespace potencor::ui
