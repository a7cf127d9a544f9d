// On a scaled display a device pixel is a fraction of a logical px; mouse
// events carry it, QCursor::pos() and mapToGlobal() round it away. The
// measurement must keep it, and must not trust an event the cursor has left.
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "tests/ui/form_fixture.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using potencor::ui::TForm1;

namespace {

class PointerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = potencor::test::shownForm();
        origin = QPointF(form->mapToGlobal(QPoint(0, 0)));
    }

    // A move over the window as a scaled display reports it: the client
    // area's origin and the pointer, both in logical px with fractions.
    void moveEvent(QPointF windowOrigin, QPointF clientPos)
    {
        QMouseEvent move(QEvent::MouseMove, clientPos, windowOrigin + clientPos, Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(form->windowHandle(), &move);
    }

    // The coordinates part of the protocol line a click there writes.
    QString measuredXY()
    {
        form->Memo1->clear();
        form->Chart1Click();
        return form->Memo1->toPlainText().section(QStringLiteral(" phi="), 0, 0);
    }

    std::unique_ptr<TForm1> form;
    QPointF origin;
};

TEST_F(PointerTest, FractionOfTheLatestEventReachesTheMeasurement)
{
    // 0.4 logical px right of and above the plot's corner (27, 678).
    QCursor::setPos(form->mapToGlobal(QPoint(27, 678)));
    moveEvent(origin, QPointF(27.4, 677.6));
    EXPECT_EQ(form->cursorPos(), origin + QPointF(27.4, 677.6));
    EXPECT_EQ(measuredXY(), QStringLiteral("0: x=0.018см y=0.018см"));
}

TEST_F(PointerTest, FractionalWindowOriginCounts)
{
    // The window 0.25 px further right than its rounded position says, the
    // pointer on the whole chart pixel (28, 677) of the client area.
    const QPointF shifted = origin + QPointF(0.25, -0.25);
    QCursor::setPos((shifted + QPointF(28, 677)).toPoint());
    moveEvent(shifted, QPointF(28, 677));
    EXPECT_EQ(form->calibrationWindowOrigin(), shifted - QPointF(8, 32));
    EXPECT_EQ(measuredXY(), QStringLiteral("0: x=0.045см y=0.044см"));
}

TEST_F(PointerTest, CursorThatMovedOnSinceTheEventIsReadAsItIs)
{
    moveEvent(origin, QPointF(27.4, 677.6));
    // Moved on by a whole px without an event reaching the window.
    QCursor::setPos(form->mapToGlobal(QPoint(28, 678)));
    EXPECT_EQ(form->cursorPos(), QPointF(form->mapToGlobal(QPoint(28, 678))));
    EXPECT_EQ(measuredXY(), QStringLiteral("0: x=0.045см y=0.000см"));
}

} // namespace
