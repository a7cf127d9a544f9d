#include "ui/pointer.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace potencor::ui {
namespace {

// Both are rounded from the same native position, so an exact value still
// belongs to the rounded one when it lies within half a px of it.
QPointF refined(QPoint whole, bool known, QPointF exact)
{
    constexpr double kHalf = 0.5 + 1e-9;
    if (known && std::abs(exact.x() - whole.x()) <= kHalf && std::abs(exact.y() - whole.y()) <= kHalf)
        return exact;
    return QPointF(whole);
}

bool isMouseEvent(QEvent::Type type)
{
    return type == QEvent::MouseMove || type == QEvent::MouseButtonPress
        || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick;
}

} // namespace

PointerTracker::PointerTracker(QWidget* window) : QObject(window), window_(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool PointerTracker::eventFilter(QObject* watched, QEvent* event)
{
    // The window-level event holds the position in the client area, before
    // it is handed to the widget under the pointer.
    if (isMouseEvent(event->type()) && watched == window_->windowHandle()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        cursor_ = mouse->globalPosition();
        origin_ = mouse->globalPosition() - mouse->position();
        seen_ = true;
    }
    return false;
}

QPointF PointerTracker::cursorPos() const
{
    return refined(QCursor::pos(), seen_, cursor_);
}

QPointF PointerTracker::clientOrigin() const
{
    return refined(window_->mapToGlobal(QPoint(0, 0)), seen_, origin_);
}

} // namespace potencor::ui
