// A long lab session through the real handlers: tens of thousands of
// measurements, then as many undos. Everything must end empty, and what the
// session grew must be given back without touching what the user sees.
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "tests/ui/form_fixture.h"
#include "work/workbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <gtest/gtest.h>

using potencor::ui::TForm1;

namespace {

class LongSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = potencor::test::shownForm();
        QCursor::setPos(form->Chart1->mapToGlobal(potencor::test::kMiddle));
    }

    // `n` measurements or undos, with the repaints a user would see between.
    void measure(int n)
    {
        for (int i = 0; i < n; ++i) {
            form->Chart1Click();
            if (i % 1000 == 999)
                QApplication::processEvents();
        }
    }
    void undo(int n)
    {
        for (int i = 0; i < n; ++i) {
            form->Button3Click();
            if (i % 1000 == 999)
                QApplication::processEvents();
        }
    }

    std::unique_ptr<TForm1> form;
};

TEST_F(LongSession, TwentyThousandMeasurementsAndUndosEndEmpty)
{
    constexpr int kSession = 20000;
    form->CheckBox2->setChecked(true); // point labels on: their placement grows too
    form->CheckBox2Click();
    measure(kSession);
    ASSERT_EQ(form->work().session().count(), kSession);
    ASSERT_EQ(form->Chart1->Series1()->Count(), kSession);
    const QString protocol = form->Memo1->toPlainText();
    EXPECT_TRUE(protocol.startsWith(QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\n")));
    EXPECT_TRUE(protocol.endsWith(QStringLiteral("\n19999: x=21.425см y=14.978см phi=6.300 В\n")));

    undo(kSession / 2);
    EXPECT_EQ(form->work().session().count(), kSession / 2);
    EXPECT_TRUE(form->Memo1->toPlainText().endsWith(QStringLiteral("\n9999: x=21.425см y=14.978см phi=6.300 В\n")));
    undo(kSession / 2);
    QApplication::processEvents();

    EXPECT_EQ(form->work().session().count(), 0);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 0);
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    // The points' storage went back with them.
    EXPECT_LE(form->Chart1->Series1()->points().capacity(), 1024);

    // One undo too many changes nothing, and the session can go on.
    form->Button3Click();
    EXPECT_EQ(form->work().session().count(), 0);
    measure(1);
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\n"));
}

// Undo rebuilds the protocol's document once it has shrunk enough; the user's
// own text, its no-break spaces, the selection and the scroll position stay.
TEST_F(LongSession, ShrinkingProtocolKeepsTheUsersTextAndSelection)
{
    QPlainTextEdit* memo = form->Memo1;
    const QString own = QStringLiteral("Группа\u00a0101, стол 3");
    memo->setPlainText(own + QLatin1Char('\n'));
    measure(4000);
    const QString kept = memo->toPlainText().section(QLatin1Char('\n'), 0, 900);
    QTextCursor selection(memo->document());
    selection.setPosition(2);
    selection.setPosition(9, QTextCursor::KeepAnchor);
    memo->setTextCursor(selection);
    memo->verticalScrollBar()->setValue(40);

    undo(3100); // below a quarter of the largest size
    EXPECT_EQ(form->work().session().count(), 900);
    EXPECT_EQ(memo->toPlainText(), kept + QLatin1Char('\n'));
    EXPECT_EQ(memo->document()->toRawText().section(QChar::ParagraphSeparator, 0, 0), own);
    EXPECT_EQ(memo->textCursor().anchor(), 2);
    EXPECT_EQ(memo->textCursor().position(), 9);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 40);
    EXPECT_EQ(form->work().protocolText().count(QStringLiteral("\r\n")), 901);
}

} // namespace
