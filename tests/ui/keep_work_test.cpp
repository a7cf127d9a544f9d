// The window keeps the student's work: the journal follows every change,
// what a crash left is offered back, protocols open again, and closing or
// opening over unsaved work asks first.
#include "core/journal.h"
#include "core/protocol.h"
#include "export/protocol_file.h"
#include "ui/chart.h"
#include "ui/error_report.h"
#include "ui/mainwindow.h"
#include "tests/ui/form_fixture.h"
#include "tests/work/journal_frames.h"
#include "work/workbench.h"
#include "work/recovery.h"
#include "ui/save_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include <sys/stat.h>

using namespace potencor;
using potencor::ui::TForm1;

namespace {

using potencor::test::kMiddle;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

journal::ReadResult readJournal(const QString& path)
{
    const QByteArray bytes = readAll(path);
    return journal::read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QStringList journalsIn(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.journal")}, QDir::Files);
}

using test::pointRecordAt;

class KeepWork : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::setPresenter([this](QWidget*, const QString&, const QString& text) { reports.push_back(text); });
    }
    void TearDown() override
    {
        ui::setPresenter({});
        ASSERT_TRUE(unanswered.empty()) << "boxes expected but not shown: " << unanswered.size();
    }

    std::unique_ptr<TForm1> makeForm(const QString& stateDir)
    {
        return test::shownForm({.showStartupWarning = false, .recovery = true, .stateDirectory = stateDir});
    }

    // The next question box gets this button pressed; its text is kept.
    void answerNextBox(const QString& button)
    {
        unanswered.push_back(button);
        QTimer::singleShot(0, [this, button] { answer(button, 0); });
    }
    void answer(const QString& button, int tries)
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (tries < 200)
                QTimer::singleShot(10, [this, button, tries] { answer(button, tries + 1); });
            return;
        }
        asked.push_back(box->text());
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == button) {
                unanswered.erase(std::find(unanswered.begin(), unanswered.end(), button));
                b->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << button.toStdString();
        box->reject();
    }

    // Runs `action` once `ready` holds, from the event loop of whatever modal
    // window is up by then.
    static void when(std::function<bool()> ready, std::function<void()> action, int tries = 0)
    {
        if (ready() || tries > 500) {
            action();
            return;
        }
        QTimer::singleShot(10, [=] { when(ready, action, tries + 1); });
    }
    // Events run until `condition` holds; a slow machine gets ample time,
    // and a wait that runs out fails the test naming what it waited for.
    static void waitFor(const char* what, const std::function<bool()>& condition)
    {
        constexpr int kLimitMs = 30000;
        if (!QTest::qWaitFor(condition, kLimitMs))
            ADD_FAILURE() << "timed out after " << kLimitMs / 1000 << " s waiting for " << what;
    }
    static QFileDialog* shownSaveDialog(TForm1& form)
    {
        QFileDialog* d = form.SaveTextFileDialog1->window();
        return d && d->isVisible() ? d : nullptr;
    }

    static void clickChart(TForm1& form, QPoint chartPx) { test::clickChart(form, chartPx); }

    QTemporaryDir state;
    QTemporaryDir files;
    std::vector<QString> reports;
    std::vector<QString> asked;
    std::vector<QString> unanswered;
};

// ---- The journal follows the box and the session ----

TEST_F(KeepWork, JournalReplaysToTheWindowsStateAfterAnyEdits)
{
    auto form = makeForm(state.path());
    ASSERT_NE(form->work().journal(), nullptr);
    const QString path = form->work().journal()->path();
    QPlainTextEdit* memo = form->Memo1;
    // Characters the box must keep as they are: a no-break space, a line
    // separator, a character beyond the BMP, Cyrillic.
    const QStringList pieces = {QStringLiteral("заметка"), QStringLiteral("a\u00a0b"), QStringLiteral("x\u2028y"),
                                QStringLiteral("\U0001F600"), QStringLiteral("\n"), QStringLiteral("12,5\n\n")};
    QRandomGenerator rng(20261210);
    for (int step = 0; step < 300; ++step) {
        const int length = memo->document()->characterCount() - 1;
        QTextCursor c(memo->document());
        switch (rng.bounded(7)) {
        case 0:
        case 1:
            clickChart(*form, QPoint(30 + rng.bounded(900), 30 + rng.bounded(600)));
            break;
        case 2:
            form->Button3->click();
            break;
        case 3:
            c.setPosition(rng.bounded(length + 1));
            memo->setTextCursor(c);
            memo->insertPlainText(pieces[rng.bounded(pieces.size())]);
            break;
        case 4:
            if (length > 0) {
                const int from = rng.bounded(length);
                c.setPosition(from);
                c.setPosition(std::min(length, from + 1 + rng.bounded(40)), QTextCursor::KeepAnchor);
                memo->setTextCursor(c);
                QTest::keyClick(memo, Qt::Key_Delete);
            }
            break;
        case 5:
            form->CheckBox2->click();
            break;
        case 6:
            QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
            break;
        }
        if (step % 50 == 49) {
            form->work().journal()->flushAndWait();
            const journal::ReadResult r = readJournal(path);
            ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << r.detail << " at step " << step;
            ASSERT_EQ(r.state, form->work().journalState()) << "at step " << step;
        }
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(KeepWork, JournalOfManyEditsIsFoldedIntoOneSnapshot)
{
    auto form = makeForm(state.path());
    const QString path = form->work().journal()->path();
    const QString block(4000, QLatin1Char('q'));
    // 3.2 MB of records for a text that stays one line long.
    for (int i = 0; i < 400; ++i) {
        form->Memo1->moveCursor(QTextCursor::End);
        form->Memo1->insertPlainText(block);
        form->Memo1->selectAll();
        form->Memo1->insertPlainText(QStringLiteral("line"));
        form->work().journal()->flush();
    }
    form->work().journal()->flushAndWait();
    EXPECT_LT(QFileInfo(path).size(), 1100 * 1024) << "records were never folded into a snapshot";
    EXPECT_EQ(readJournal(path).state, form->work().journalState());
}

TEST_F(KeepWork, NormalEndRemovesTheJournal)
{
    auto form = makeForm(state.path());
    clickChart(*form, kMiddle);
    form->work().journal()->flushAndWait(); // the file is made by the writer's thread
    ASSERT_EQ(journalsIn(state.path()).size(), 1);
    answerNextBox(QStringLiteral("Не сохранять"));
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(journalsIn(state.path()).isEmpty());
    EXPECT_TRUE(QDir(state.path()).entryList(QDir::Files).isEmpty()) << "the lock was left";
}

// ---- What a crash left is offered back ----

class Restore : public KeepWork {
protected:
    // A session as a crash leaves it: the journal without its owner.
    QString crashedJournal(const std::function<void(TForm1&)>& work)
    {
        QTemporaryDir running;
        auto form = makeForm(running.path());
        work(*form);
        form->work().journal()->flushAndWait();
        left = {form->Memo1->toPlainText(), form->work().session().count(), form->CheckBox2->isChecked(),
                form->Chart1->renderImage(), form->Chart1->Series1()->points()};
        const QString copy = state.filePath(QStringLiteral("session-1-1.journal"));
        writeFile(copy, readAll(form->work().journal()->path()));
        if (form->work().hasUnsavedWork())
            answerNextBox(QStringLiteral("Не сохранять"));
        form->close();
        asked.clear();
        return copy;
    }
    struct Left {
        QString text;
        int count;
        bool labels;
        QImage chart;
        QVector<QPointF> points;
    } left;
};

TEST_F(Restore, RestoredWindowIsTheOneLeftAndWorkGoesOn)
{
    const QString old = crashedJournal([](TForm1& form) {
        clickChart(form, kMiddle);
        clickChart(form, QPoint(764, 340));
        clickChart(form, QPoint(100, 600));
        form.Button3->click();
        clickChart(form, QPoint(300, 100));
        form.CheckBox2->click();
        form.Memo1->moveCursor(QTextCursor::End);
        form.Memo1->insertPlainText(QStringLiteral("Иванов\u00a0И."));
    });
    answerNextBox(QStringLiteral("Восстановить"));
    auto form = makeForm(state.path());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("измерений: 3"))) << asked[0].toStdString();
    EXPECT_EQ(form->Memo1->toPlainText(), left.text);
    EXPECT_EQ(form->Memo1->document()->toRawText().count(QChar(0xa0)), 1) << "the no-break space was lost";
    EXPECT_EQ(form->work().session().count(), left.count);
    EXPECT_EQ(form->CheckBox2->isChecked(), left.labels);
    EXPECT_EQ(form->Chart1->Series1()->points(), left.points);
    EXPECT_EQ(form->Chart1->renderImage(), left.chart);
    EXPECT_TRUE(form->work().hasUnsavedWork());
    // The old journal went once the new one held the session.
    EXPECT_FALSE(QFile::exists(old));
    EXPECT_EQ(journalsIn(state.path()).size(), 1);

    clickChart(*form, kMiddle);
    EXPECT_TRUE(form->Memo1->toPlainText().endsWith(QStringLiteral("И.\n3: x=21.425см y=14.978см phi=6.300 В\n")));
    form->Button3->click();
    form->Button3->click();
    EXPECT_EQ(form->work().session().count(), 2);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 2);
    EXPECT_TRUE(reports.empty());
}

TEST_F(Restore, DeclinedJournalIsRemovedAndAnEmptyOneIsNotOffered)
{
    const QString declined = crashedJournal([](TForm1& form) { clickChart(form, kMiddle); });
    answerNextBox(QStringLiteral("Не восстанавливать"));
    auto form = makeForm(state.path());
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_FALSE(QFile::exists(declined));
    form.reset();

    const QString empty = crashedJournal([](TForm1&) {});
    form = makeForm(state.path());
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(QFile::exists(empty));
}

TEST_F(Restore, UnreadableJournalIsKeptAsideWithAMessage)
{
    const QString foreign = state.filePath(QStringLiteral("session-7-7.journal"));
    writeFile(foreign, QByteArray("0: x=21.425\xf1\xec y=14.978\xf1\xec phi=6.300 \xc2\r\n"));
    QByteArray damaged = QByteArray::fromStdString(journal::header() + journal::snapshot({u"abc", {}}));
    damaged[damaged.size() - 2] = 'X';
    const QString bad = state.filePath(QStringLiteral("session-8-8.journal"));
    writeFile(bad, damaged);

    auto form = makeForm(state.path());
    ASSERT_EQ(reports.size(), 2u);
    for (const QString& r : reports)
        EXPECT_TRUE(r.contains(QStringLiteral("повреждён"))) << r.toStdString();
    form->work().journal()->flushAndWait(); // its own journal is written by another thread
    EXPECT_TRUE(journalsIn(state.path()) == QStringList{QFileInfo(form->work().journal()->path()).fileName()});
    const QStringList aside = QDir(state.path()).entryList({QStringLiteral("*.unreadable-*")});
    EXPECT_EQ(aside.size(), 2);
    form.reset();
    reports.clear();
    form = makeForm(state.path());
    EXPECT_TRUE(reports.empty()) << "a file kept aside was offered again";
}

// One byte changed in the middle: the question says that only the work
// before the damage comes back and where the journal is kept.
TEST_F(Restore, DamagedJournalIsOfferedSayingTheRestCannotBeRead)
{
    const QString left = crashedJournal([](TForm1& form) {
        for (int i = 0; i < 4; ++i)
            clickChart(form, QPoint(100 + 150 * i, 300));
    });
    QByteArray bytes = readAll(left);
    const qsizetype third = pointRecordAt(bytes, 2);
    ASSERT_GE(third, 0);
    bytes[third + 15] ^= 0x01;
    writeFile(left, bytes);

    answerNextBox(QStringLiteral("Восстановить"));
    auto form = makeForm(state.path());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("измерений: 2"))) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].contains(QStringLiteral("Часть файла восстановления повреждена, и прочитать её нельзя")))
        << asked[0].toStdString();
    const QStringList aside = QDir(state.path()).entryList({QStringLiteral("session-1-1.journal.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(asked[0].contains(aside[0])) << asked[0].toStdString();
    EXPECT_EQ(readAll(state.filePath(aside[0])), bytes);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 2);
    EXPECT_EQ(form->work().session().count(), 2);
    EXPECT_TRUE(reports.empty());
}

// A long session goes back in under a progress box, without a cancel
// button (the old journal is not given up half way), the window's event loop
// turning meanwhile; the box goes once the work is in.
TEST_F(Restore, LongSessionComesBackUnderAProgressBox)
{
    std::u16string text;
    std::vector<MeasuredPoint> points;
    for (int i = 0; i < 30000; ++i) {
        text += QStringLiteral("%1: x=1.000см y=2.000см phi=3.000 В\n").arg(i).toStdU16String();
        points.push_back({1.0L + i % 40, 2.0L, i});
    }
    const journal::State left{text, Session::restored(points, 30000, false)};
    const std::string bytes = journal::header() + journal::snapshot(left);
    writeFile(state.filePath(QStringLiteral("session-1-1.journal")), QByteArray(bytes.data(), qsizetype(bytes.size())));

    struct Boxes : QObject {
        int shown = 0;
        bool modal = false;
        bool cancellable = true;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (auto* box = qobject_cast<QProgressDialog*>(watched); box && event->type() == QEvent::Show) {
                ++shown;
                modal = box->isModal();
                cancellable = box->findChild<QPushButton*>() != nullptr;
            }
            return false;
        }
    } boxes;
    qApp->installEventFilter(&boxes);
    answerNextBox(QStringLiteral("Восстановить"));
    auto form = makeForm(state.path());
    qApp->removeEventFilter(&boxes);
    EXPECT_EQ(boxes.shown, 1);
    EXPECT_TRUE(boxes.modal);
    EXPECT_FALSE(boxes.cancellable);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(form->work().journalState(), left);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 30000);
    EXPECT_FALSE(QFile::exists(state.filePath(QStringLiteral("session-1-1.journal"))));
    form->work().journal()->flushAndWait();
    EXPECT_EQ(readJournal(form->work().journal()->path()).state, left);
    EXPECT_TRUE(reports.empty());
}

TEST_F(Restore, TwoCopiesNeverTakeEachOthersJournal)
{
    auto first = makeForm(state.path());
    clickChart(*first, kMiddle);
    first->work().journal()->flushAndWait();
    const QString firstJournal = first->work().journal()->path();
    // The second copy starts with the first one's journal in the folder: it is
    // neither offered (no box) nor touched.
    auto second = makeForm(state.path());
    EXPECT_TRUE(asked.empty());
    EXPECT_NE(second->work().journal()->path(), firstJournal);
    second.reset();
    EXPECT_EQ(readJournal(firstJournal).state, first->work().journalState());
}

// ---- The journal's notice ----

// While the journal cannot write, a notice over the chart's top says so:
// clicks go through it to the chart, every other control is where it always
// is, and the notice goes once the journal writes.
TEST_F(KeepWork, NoticeShowsWhileTheJournalCannotWrite)
{
    std::vector<std::pair<QString, QRect>> layout;
    {
        auto normal = makeForm(state.path());
        QLabel* quiet = normal->findChild<QLabel*>(QStringLiteral("JournalNotice"));
        ASSERT_NE(quiet, nullptr);
        EXPECT_FALSE(quiet->isVisible());
        for (const QWidget* w : normal->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w->isVisible())
                layout.emplace_back(w->objectName(), w->geometry());
        }
    }
    // The state folder's name is a file's: no folder takes the journal.
    const QString blocked = files.filePath(QStringLiteral("state"));
    writeFile(blocked, "a file, not a folder");
    auto form = makeForm(blocked);
    QLabel* notice = form->findChild<QLabel*>(QStringLiteral("JournalNotice"));
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains(QStringLiteral("Не удаётся записать файл восстановления")))
        << notice->text().toStdString();
    EXPECT_TRUE(form->Chart1->geometry().contains(notice->geometry()));
    std::vector<std::pair<QString, QRect>> shown;
    for (const QWidget* w : form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isVisible() && w != notice)
            shown.emplace_back(w->objectName(), w->geometry());
    }
    EXPECT_EQ(shown, layout);

    const QPoint onNotice = notice->geometry().center();
    EXPECT_EQ(QApplication::widgetAt(form->mapToGlobal(onNotice)), form->Chart1);
    clickChart(*form, form->Chart1->mapFrom(form.get(), onNotice));
    EXPECT_EQ(form->work().session().count(), 1);

    QFile::remove(blocked);
    waitFor("the notice to go", [&] { return !notice->isVisible(); });
    form->work().journal()->flushAndWait();
    EXPECT_EQ(readJournal(form->work().journal()->path()).state, form->work().journalState());
    EXPECT_TRUE(reports.empty());
}

// ---- Unsaved work ----

TEST_F(KeepWork, ClosingAsksOnlyWhenWorkWouldBeLost)
{
    auto form = makeForm(state.path());
    EXPECT_FALSE(form->work().hasUnsavedWork());
    clickChart(*form, kMiddle);
    EXPECT_TRUE(form->work().hasUnsavedWork());

    answerNextBox(QStringLiteral("Отмена"));
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QStringLiteral("Протокол не сохранён в файл. Сохранить его перед выходом из программы?"));

    // "Сохранить" runs the save dialog; cancelled there, the window stays.
    answerNextBox(QStringLiteral("Сохранить"));
    when([&] { return shownSaveDialog(*form) != nullptr; }, [&] { form->SaveTextFileDialog1->window()->reject(); });
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());

    // "Сохранить" and a save that fails: the window stays.
    const auto saveAs = [&](const QString& path) {
        when([&] { return shownSaveDialog(*form) != nullptr; }, [&, path] {
            QFileDialog* dialog = form->SaveTextFileDialog1->window();
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    answerNextBox(QStringLiteral("Сохранить"));
    saveAs(files.filePath(QStringLiteral("missing/p.txt")));
    EXPECT_FALSE(form->close());
    EXPECT_EQ(reports.size(), 1u);
    reports.clear();

    // Saved through the button: nothing to lose, nothing asked.
    const QString path = files.filePath(QStringLiteral("p.txt"));
    saveAs(path);
    form->Button5->click();
    EXPECT_FALSE(form->work().hasUnsavedWork());
    form->Memo1->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->Memo1, QStringLiteral("x"));
    EXPECT_TRUE(form->work().hasUnsavedWork());
    QTest::keyClick(form->Memo1, Qt::Key_Backspace);
    EXPECT_FALSE(form->work().hasUnsavedWork()) << "the text is the saved one again";
    asked.clear();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(reports.empty());
}

TEST_F(KeepWork, TabLeavesTheProtocolBoxUntouched)
{
    auto form = makeForm(state.path());
    clickChart(*form, kMiddle);
    const QString before = form->Memo1->toPlainText();
    form->Memo1->setFocus();
    form->Memo1->selectAll();
    QTest::keyClick(form->Memo1, Qt::Key_Tab);
    EXPECT_EQ(form->Memo1->toPlainText(), before);
    EXPECT_EQ(QApplication::focusWidget(), form->CheckBox1);
    QTest::keyClick(form->CheckBox1, Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), form->Memo1);
    EXPECT_EQ(form->Memo1->toPlainText(), before);
}

// ---- Reopening a protocol ----

struct EncodingCase {
    text::Encoding encoding;
    const char* name;
};

class Reopen : public KeepWork, public testing::WithParamInterface<EncodingCase> {};

TEST_P(Reopen, FileWrittenByTheProgramComesBackWithItsPoints)
{
    for (const QChar sep : {QLatin1Char('.'), QLatin1Char(',')}) {
        QString text = QStringLiteral("Иванов И.\r\n0: x=21.425см y=14.978см phi=6.300 В\r\nопыт 2\r\n"
                                      "3: x=-1.559см y=0.000см phi=4.526 В\r\n4: x=32.828см y=14.978см phi=12.600 В\r\n");
        if (sep == QLatin1Char(','))
            text.replace(QRegularExpression(QStringLiteral("(\\d)\\.(\\d)")), QStringLiteral("\\1,\\2"));
        const QString path = files.filePath(QStringLiteral("%1-%2.txt").arg(GetParam().name).arg(sep == ',' ? 1 : 0));
        writeFile(path, exporting::encodeProtocol(text, GetParam().encoding));

        auto form = makeForm(state.path());
        ASSERT_TRUE(form->openProtocolFile(path)) << reports.back().toStdString();
        QString shown = text;
        if (GetParam().encoding == text::Encoding::Ascii)
            shown = QString::fromLatin1(exporting::encodeProtocol(text, text::Encoding::Ascii));
        EXPECT_EQ(form->work().protocolText(), shown);
        const ui::Series* points = form->Chart1->Series1();
        ASSERT_EQ(points->Count(), 3);
        EXPECT_EQ(points->label(0), 0);
        EXPECT_EQ(points->label(1), 3);
        EXPECT_EQ(points->label(2), 4);
        EXPECT_EQ(points->points()[1], QPointF(-1.559, 0.0));
        EXPECT_EQ(form->work().session().count(), 5);
        EXPECT_FALSE(form->work().hasUnsavedWork());
        EXPECT_EQ(form->SaveTextFileDialog1->FileName, path);
        // Pure 7-bit text is saved back as ANSI, which writes the same bytes.
        const auto savedAs = GetParam().encoding == text::Encoding::Ascii ? text::Encoding::Ansi
                                                                                : GetParam().encoding;
        EXPECT_EQ(form->SaveTextFileDialog1->EncodingIndex, static_cast<int>(savedAs));
        clickChart(*form, kMiddle);
        QString next = QStringLiteral("\n5: x=21.425см y=14.978см phi=6.300 В\n");
        if (form->decimalSeparator() == U',')
            next.replace(QLatin1Char('.'), QLatin1Char(','));
        EXPECT_TRUE(form->Memo1->toPlainText().endsWith(next)) << form->Memo1->toPlainText().toStdString();
        // The journal holds the opened session.
        form->work().journal()->flushAndWait();
        EXPECT_EQ(readJournal(form->work().journal()->path()).state, form->work().journalState());
        answerNextBox(QStringLiteral("Не сохранять"));
        form->close();
    }
    EXPECT_TRUE(reports.empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, Reopen,
                         testing::Values(EncodingCase{text::Encoding::Ansi, "Ansi"},
                                         EncodingCase{text::Encoding::Ascii, "Ascii"},
                                         EncodingCase{text::Encoding::Unicode, "Unicode"},
                                         EncodingCase{text::Encoding::BigEndianUnicode, "BigEndianUnicode"},
                                         EncodingCase{text::Encoding::Utf8, "Utf8"},
                                         EncodingCase{text::Encoding::Utf7, "Utf7"}),
                         [](const testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

TEST_F(KeepWork, FilesThatAreNoProtocolChangeNothing)
{
    auto form = makeForm(state.path());
    clickChart(*form, kMiddle);
    const QString before = form->Memo1->toPlainText();

    const QString binary = files.filePath(QStringLiteral("binary.txt"));
    writeFile(binary, QByteArray("0: x=1\0\x01\x02", 9));
    const QString large = files.filePath(QStringLiteral("large.txt"));
    {
        QFile f(large);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(protocol::kMaxFileBytes + 1)); // sparse: nothing is written
    }
    const QString cp1251 = files.filePath(QStringLiteral("cp1251.txt"));
    writeFile(cp1251, exporting::encodeProtocol(QStringLiteral("опыт\r\n"), text::Encoding::Ansi));
    // Opening a FIFO for reading waits for a writer: it must not be opened.
    const QString fifo = files.filePath(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    const QString link = files.filePath(QStringLiteral("fifo-link.txt"));
    ASSERT_TRUE(QFile::link(fifo, link));

    struct Case {
        QString path;
        std::optional<text::Encoding> encoding;
        QString says;
    };
    const Case cases[] = {
        {binary, std::nullopt, QStringLiteral("не текстовый")},
        {large, std::nullopt, QStringLiteral("больше 50 МБ")},
        {files.path(), std::nullopt, QStringLiteral("папка")},
        {files.filePath(QStringLiteral("missing.txt")), std::nullopt, QStringLiteral("No such file")},
        {cp1251, text::Encoding::Utf8, QStringLiteral("UTF-8")},
        {fifo, std::nullopt, QStringLiteral("Это канал или сокет, а не файл")},
        {link, text::Encoding::Ansi, QStringLiteral("Это канал или сокет, а не файл")},
    };
    for (const Case& c : cases) {
        reports.clear();
        EXPECT_FALSE(form->openProtocolFile(c.path, c.encoding)) << c.path.toStdString();
        ASSERT_EQ(reports.size(), 1u) << c.path.toStdString();
        EXPECT_TRUE(reports[0].contains(c.says)) << reports[0].toStdString();
        EXPECT_EQ(form->Memo1->toPlainText(), before);
        EXPECT_EQ(form->work().session().count(), 1);
        EXPECT_EQ(form->Chart1->Series1()->Count(), 1);
    }
    // Forcing the right encoding reads what auto-detection would.
    EXPECT_TRUE(form->openProtocolFile(cp1251, text::Encoding::Ansi));
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("опыт\n"));
}

// A long protocol is read under a progress box: "Отмена" there leaves the
// work as it was; let be, the file comes in whole.
TEST_F(KeepWork, LongProtocolOpensUnderAProgressBoxThatCanCancel)
{
    auto form = makeForm(state.path());
    clickChart(*form, kMiddle);
    const QString before = form->Memo1->toPlainText();
    QString text;
    for (int i = 0; i < 60000; ++i)
        text += QStringLiteral("%1: x=1.000см y=2.000см phi=3.000 В\r\n").arg(i);
    const QString path = files.filePath(QStringLiteral("long.txt"));
    writeFile(path, exporting::encodeProtocol(text, text::Encoding::Ansi));

    // "Отмена" is clicked as the box shows, before the reading can be done.
    struct Boxes : QObject {
        bool cancel = true;
        int shown = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (auto* box = qobject_cast<QProgressDialog*>(watched); box && event->type() == QEvent::Show) {
                ++shown;
                EXPECT_TRUE(box->isModal());
                auto* button = box->findChild<QPushButton*>();
                if (cancel && button)
                    button->click(); // "Отмена"
            }
            return false;
        }
    } boxes;
    qApp->installEventFilter(&boxes);
    EXPECT_FALSE(form->openProtocolFile(path));
    EXPECT_EQ(boxes.shown, 1);
    EXPECT_EQ(form->Memo1->toPlainText(), before);
    EXPECT_EQ(form->work().session().count(), 1);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 1);

    boxes.cancel = false;
    EXPECT_TRUE(form->openProtocolFile(path));
    qApp->removeEventFilter(&boxes);
    EXPECT_EQ(boxes.shown, 2);
    EXPECT_EQ(form->work().protocolText(), text);
    EXPECT_EQ(form->work().session().count(), 60000);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 60000);
    EXPECT_FALSE(form->work().hasUnsavedWork());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    form->work().journal()->flushAndWait();
    EXPECT_EQ(readJournal(form->work().journal()->path()).state, form->work().journalState());
    EXPECT_TRUE(reports.empty());
}

// Lines wrap in the box at word boundaries, as they always have; a line of
// megabytes without one (Qt would look for the next boundary from every
// place it wraps: hours) opens all the same, whole.
TEST_F(KeepWork, ALineOfMegabytesOpensAndLinesStillWrapAtWords)
{
    auto form = makeForm(state.path());
    QStringList words;
    for (int i = 0; i < 40; ++i)
        words << QStringLiteral("слово%1").arg(i);
    const QString worded = words.join(QLatin1Char(' '));
    const QString normal = files.filePath(QStringLiteral("normal.txt"));
    writeFile(normal, exporting::encodeProtocol(QStringLiteral("0: x=1.000см y=2.000см phi=3.000 В\r\n") + worded
                                                    + QStringLiteral("\r\n"),
                                                text::Encoding::Utf8));
    ASSERT_TRUE(form->openProtocolFile(normal));
    const QTextBlock block = form->Memo1->document()->findBlockByNumber(1);
    ASSERT_EQ(block.text(), worded);
    form->Memo1->document()->documentLayout()->blockBoundingRect(block); // laid out
    const QTextLayout* layout = block.layout();
    ASSERT_GT(layout->lineCount(), 3);
    for (int i = 0; i + 1 < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        EXPECT_EQ(worded.at(line.textStart() + line.textLength() - 1), QLatin1Char(' '))
            << "line " << i << " ends inside a word: " << worded.mid(line.textStart(), line.textLength()).toStdString();
    }

    const QString huge = QString(3'000'000, QLatin1Char('x'));
    const QString path = files.filePath(QStringLiteral("huge-line.txt"));
    writeFile(path, exporting::encodeProtocol(QStringLiteral("0: x=1.000см y=2.000см phi=3.000 В\r\n") + huge
                                                  + QStringLiteral("\r\n"),
                                              text::Encoding::Ansi));
    ASSERT_TRUE(form->openProtocolFile(path));
    EXPECT_EQ(form->Memo1->document()->findBlockByNumber(1).text(), huge);
    EXPECT_EQ(form->work().session().count(), 1);
    EXPECT_TRUE(reports.empty());
}

TEST_F(KeepWork, DroppedFileOpensAfterTheQuestion)
{
    auto form = makeForm(state.path());
    clickChart(*form, kMiddle);
    const QString path = files.filePath(QStringLiteral("dropped.txt"));
    writeFile(path, exporting::encodeProtocol(QStringLiteral("7: x=1.000см y=1.000см phi=4.573 В\r\n"),
                                              text::Encoding::Utf8));
    const auto drop = [&](QWidget* target) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        QTest::qWait(0);
    };
    answerNextBox(QStringLiteral("Отмена"));
    drop(form.get());
    waitFor("the question to be answered", [&] { return unanswered.empty(); });
    EXPECT_EQ(form->work().session().count(), 1);

    // On the protocol box too: the file opens, its name is not pasted.
    answerNextBox(QStringLiteral("Не сохранять"));
    drop(form->Memo1->viewport());
    waitFor("the dropped file to open (count 8)", [&] { return form->work().session().count() == 8; });
    EXPECT_EQ(form->work().session().count(), 8);
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("7: x=1.000см y=1.000см phi=4.573 В\n"));
}

} // namespace
