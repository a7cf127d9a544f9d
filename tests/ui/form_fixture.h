#pragma once
// The main window as the widget tests use it: shown and exposed, without the
// start-up warning unless asked; and a user's clicks and moves on its chart.
#include "ui/chart.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace potencor::test {

// Chart pixel (508, 340) is 516, 372 px from the window's outer corner: the
// middle of the plane.
inline const QPoint kMiddle(508, 340);

inline std::unique_ptr<ui::TForm1> shownForm(ui::TForm1::Options options = {.showStartupWarning = false})
{
    auto form = std::make_unique<ui::TForm1>(options);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get())) << "the main window was never exposed";
    return form;
}

// Puts the cursor on a chart pixel and clicks there, as a user would.
inline void clickChart(ui::TForm1& form, QPoint chartPx)
{
    QCursor::setPos(form.Chart1->mapToGlobal(chartPx));
    QTest::mouseClick(form.Chart1, Qt::LeftButton, {}, chartPx);
}

inline void moveOverChart(ui::TForm1& form, QPoint chartPx)
{
    const QPoint global = form.Chart1->mapToGlobal(chartPx);
    QCursor::setPos(global);
    QMouseEvent move(QEvent::MouseMove, chartPx, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form.Chart1, &move);
}

} // namespace potencor::test
