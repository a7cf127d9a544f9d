#pragma once
// Form2, the About window: a read-only description of the laboratory exercise
// and an illustration of the two cylinders in the measurement plane. Owned by
// the main window, non-modal, stays on top; closing it only hides it.
#include "ui/Dialog/Image.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>

class QPlainTextEdit;

namespace potencor::ui {

// Outer top-left corner (screen px) for a window of outer size `frame` shown
// for the first time over `ownerFrame`: centred with truncating division, then
// kept from starting left of or above `workArea` (no correction at the right
// or bottom). An invalid `workArea` means no correction at all.
QPoint placeOverOwner(const QRect& ownerFrame, QSize frame, const QRect& workArea);

class TForm2 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidthPx = 982;
    static constexpr int kClientHeightPx = 348;

    // The window is owned by `mainWindow`: no task-bar entry of its own, kept
    // above it, minimised with it. Created hidden.
    explicit TForm2(QWidget* mainWindow);

    // Button6Click: shows the window, centred over the main window the first
    // time, where it was left every later time. A window already visible
    // (minimised included) is left exactly as it is.
    void showFromMainWindow();

    QPlainTextEdit* Memo1() const { return memo1_; }
    TImage* Image1() const { return image1_; }

    // The 20 lines of Memo1, in order.
    static QStringList memoLines();

protected:
    void showEvent(QShowEvent* event) override;
    // Keeps the program's modal windows above this one (see the constructor).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSize expectedFrameSize() const;

    QPlainTextEdit* memo1_;
    TImage* image1_;
    bool placed_ = false;
};

} // namespace potencor::ui
