#pragma once
// Counts the paint events a widget receives, to show that a change schedules
// exactly the repaints it needs.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWidget>

namespace potencor::ui {

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }

    // Delivers what is pending and returns the paints since the last call.
    int settle()
    {
        QCoreApplication::processEvents();
        const int n = paints_;
        paints_ = 0;
        return n;
    }

    // The paints so far, without delivering what is pending.
    int seen() const { return paints_; }

    bool eventFilter(QObject*, QEvent* e) override
    {
        paints_ += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }

private:
    int paints_ = 0;
};

} // namespace potencor::ui
