#pragma once
// Where the pointer and a window's client area are on the screen, in logical
// px, with the fraction of a logical px that a scaled display adds (at 125 %
// one device px is 0.8 logical px). QCursor::pos() and mapToGlobal() round to
// whole logical px, half a px each at worst, which at 125 % or 150 % moves a
// measurement by up to a whole px. Mouse events carry the exact positions;
// the latest one over the window refines the rounded values while they still
// agree with it.
#include <QObject>
#include <QPointF>

class QWidget;

namespace potencor::ui {

class PointerTracker : public QObject {
    Q_OBJECT
public:
    // Watches the mouse events of `window`, a top-level widget, which owns it.
    explicit PointerTracker(QWidget* window);

    // The cursor's screen position now.
    QPointF cursorPos() const;
    // The screen position of the window's client-area origin now.
    QPointF clientOrigin() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    bool seen_ = false;
    QPointF cursor_; // as of the latest mouse event over the window
    QPointF origin_;
};

} // namespace potencor::ui
