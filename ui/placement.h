#pragma once
// Where a top-level window goes on the desktop.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace potencor::ui {

// Outer top-left corner (screen px) for a window of outer size `frame`
// centred on `workArea`. A window larger than the work area is held at its
// top-left edges instead, so that its title bar stays reachable.
QPoint centredOnWorkArea(const QRect& workArea, QSize frame);

} // namespace potencor::ui
