#include "core/protocol.h"
#include "ui/chart.h"
#include "ui/error_report.h"
#include "ui/mainwindow.h"
#include "tests/ui/form_fixture.h"
#include "work/workbench.h"
#include "ui/save_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFileSystemModel>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QRegularExpression>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

using namespace potencor;
using potencor::ui::TForm1;

namespace {

struct Report {
    QString caption;
    QString text;
};

// A shown main window without the start-up warning, with error reports recorded.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::setPresenter([this](QWidget*, const QString& caption, const QString& text) {
            reports.push_back({caption, text});
        });
        form = test::shownForm();
    }
    void TearDown() override { ui::setPresenter({}); }

    void clickChart(QPoint chartPx) { test::clickChart(*form, chartPx); }
    void moveOverChart(QPoint chartPx) { test::moveOverChart(*form, chartPx); }
    QString memo() const { return form->Memo1->toPlainText(); }

    std::unique_ptr<TForm1> form;
    std::vector<Report> reports;
};

using test::kMiddle;

// Boxes are captioned with the program title: here that of the test executable, ui_tests.
const QString kOwnTitle = QStringLiteral("Ui_tests");

TEST_F(MainWindow, StartsWithOutlinesEmptyProtocolAndDesignTexts)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Потенкор"));
    EXPECT_EQ(form->size(), QSize(1246, 775));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // cannot be resized
    EXPECT_EQ(form->Chart1->geometry(), QRect(0, 0, 1000, 700));
    EXPECT_EQ(form->Chart1->Series1()->Count(), 0);
    EXPECT_EQ(form->Chart1->Series2()->Count(), 200);
    EXPECT_EQ(form->Chart1->Series3()->Count(), 200);
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_EQ(form->work().session().count(), 0);
    EXPECT_TRUE(form->CheckBox3->isChecked());
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x="));
    EXPECT_EQ(form->Label5->text(), QStringLiteral("y="));
    EXPECT_EQ(form->Label3->text(), QStringLiteral("phi="));
    for (QWidget* hidden : {static_cast<QWidget*>(form->Button1), static_cast<QWidget*>(form->Button2),
                            static_cast<QWidget*>(form->Edit1), static_cast<QWidget*>(form->Edit3),
                            static_cast<QWidget*>(form->Edit5), static_cast<QWidget*>(form->Edit6),
                            static_cast<QWidget*>(form->Memo2)})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    EXPECT_EQ(form->work().calibration().Nx, 962);
    EXPECT_EQ(form->work().calibration().Ny, 677);
    EXPECT_TRUE(reports.empty());
}

// The icon's pixels are compiled in from the asset: the build must keep the two
// the same, or the window and the installed menu entry would differ.
TEST_F(MainWindow, IconIsTheAssetPixelForPixel)
{
    const QImage asset = QImage(QStringLiteral(":/potencor.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(asset.size(), QSize(94, 94));
    const QList<QSize> sizes = form->windowIcon().availableSizes();
    ASSERT_EQ(sizes, QList<QSize>{QSize(94, 94)});
    const QImage icon = form->windowIcon().pixmap(QSize(94, 94), 1.0).toImage().convertToFormat(
        QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(icon, asset);
}

TEST_F(MainWindow, ClickMeasuresIntoProtocolAndChart)
{
    clickChart(kMiddle);
    EXPECT_EQ(memo(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\n"));
    EXPECT_EQ(form->work().protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"));
    ASSERT_EQ(form->Chart1->Series1()->Count(), 1);
    EXPECT_DOUBLE_EQ(form->Chart1->Series1()->points()[0].x(), 21.425);
    EXPECT_NEAR(form->Chart1->Series1()->points()[0].y(), 338.0 * 30 / 677, 1e-12);
    EXPECT_EQ(form->work().session().count(), 1);

    // The plot's lower-left corner, and inside the right electrode.
    clickChart(QPoint(27, 678));
    clickChart(QPoint(27 + 737, 340)); // x = 32.828 cm, inside the right cylinder
    const QStringList lines = memo().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(1), QStringLiteral("1: x=0.000см y=0.000см phi=4.672 В"));
    EXPECT_TRUE(lines.value(2).endsWith(QStringLiteral("phi=12.600 В"))) << lines.value(2).toStdString();
}

TEST_F(MainWindow, PointLeftOfPlotHasNegativeX)
{
    clickChart(QPoint(5, 340));
    EXPECT_TRUE(memo().startsWith(QStringLiteral("0: x=-0.980см"))) << memo().toStdString();
}

TEST_F(MainWindow, UndoRemovesLastLineAndPointAndNumberingContinues)
{
    for (int i = 0; i < 3; ++i)
        clickChart(kMiddle + QPoint(40 * i, 0));
    form->Button3->click();
    EXPECT_EQ(form->Chart1->Series1()->Count(), 2);
    EXPECT_EQ(form->work().session().count(), 2);
    QStringList lines = memo().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("0: ")));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1: ")));
    clickChart(kMiddle);
    EXPECT_TRUE(memo().split(QLatin1Char('\n')).value(2).startsWith(QStringLiteral("2: ")));
}

TEST_F(MainWindow, UndoOnEmptyProtocolChangesNothing)
{
    form->Button3->click();
    EXPECT_EQ(form->work().session().count(), 0);
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_TRUE(reports.empty());
}

TEST_F(MainWindow, UndoAfterTypedLineDeletesTypedLineAndLastPoint)
{
    clickChart(kMiddle);
    clickChart(kMiddle);
    form->Memo1->moveCursor(QTextCursor::End);
    QTest::keyClicks(form->Memo1, QStringLiteral("note"));
    form->Button3->click();
    EXPECT_EQ(memo().split(QLatin1Char('\n')).size(), 3); // "0: ...", "1: ...", ""
    EXPECT_FALSE(memo().contains(QStringLiteral("note")));
    EXPECT_EQ(form->Chart1->Series1()->Count(), 1);
    EXPECT_EQ(form->work().session().count(), 1);
    clickChart(kMiddle);
    EXPECT_TRUE(memo().split(QLatin1Char('\n')).value(2).startsWith(QStringLiteral("1: ")));
}

TEST_F(MainWindow, LineAfterHandEditedLastLineStartsOnItsOwnLine)
{
    form->Memo1->setPlainText(QStringLiteral("заметка"));
    clickChart(kMiddle);
    EXPECT_EQ(memo(), QStringLiteral("заметка\n0: x=21.425см y=14.978см phi=6.300 В\n"));
}

TEST_F(MainWindow, SnappingMovesProtocolButNotReadout)
{
    form->CheckBox1->setChecked(true);
    const QPoint px(27 + 230, 340); // 230 px right of x = 0: 10.245 cm
    moveOverChart(px);
    clickChart(px);
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x =10.245 см"));
    EXPECT_TRUE(memo().startsWith(QStringLiteral("0: x=10.000см y=15.000см"))) << memo().toStdString();
    EXPECT_DOUBLE_EQ(form->Chart1->Series1()->points()[0].x(), 10.0);
    EXPECT_DOUBLE_EQ(form->Chart1->Series1()->points()[0].y(), 15.0);
}

TEST_F(MainWindow, MeasurementModeOffTakesNothingButReadoutFollows)
{
    form->CheckBox3->setChecked(false);
    clickChart(kMiddle);
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_EQ(form->Chart1->Series1()->Count(), 0);
    EXPECT_EQ(form->work().session().count(), 0);
    moveOverChart(kMiddle);
    EXPECT_EQ(form->Label3->text(), QStringLiteral("phi =6.300 В"));
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x =21.425 см"));
    EXPECT_EQ(form->Label5->text(), QStringLiteral("y =14.978 см"));
}

TEST_F(MainWindow, ReadoutLabelsSizeThemselvesToText)
{
    moveOverChart(kMiddle);
    EXPECT_GE(form->Label3->width(), form->Label3->sizeHint().width());
    EXPECT_GT(form->Label3->width(), 50);
}

TEST_F(MainWindow, PointLabelsFollowCheckBox)
{
    form->CheckBox2->click();
    EXPECT_TRUE(form->Chart1->marksVisible());
    form->CheckBox2->click();
    EXPECT_FALSE(form->Chart1->marksVisible());
}

TEST_F(MainWindow, DecimalSeparatorFollowsLocaleChange)
{
    clickChart(kMiddle);
    form->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    clickChart(kMiddle);
    moveOverChart(kMiddle);
    const QStringList lines = memo().split(QLatin1Char('\n'));
    EXPECT_EQ(lines[0], QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В"));
    EXPECT_EQ(lines[1], QStringLiteral("1: x=21,425см y=14,978см phi=6,300 В"));
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x =21,425 см"));
}

TEST_F(MainWindow, ErrorInHandlerIsReportedAndLeavesStateAlone)
{
    clickChart(kMiddle);
    form->Edit5->setText(QStringLiteral("0"));
    form->Button2Click(); // the calibration now divides by zero
    clickChart(kMiddle);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, QStringLiteral("Floating point division by zero."));
    EXPECT_EQ(reports[0].caption, kOwnTitle);
    EXPECT_EQ(form->work().session().count(), 1);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 1);
    EXPECT_EQ(memo().count(QLatin1Char('\n')), 1);
}

TEST_F(MainWindow, BadCalibrationTextIsReported)
{
    form->Edit1->setText(QStringLiteral("-3x5"));
    ui::guarded(form.get(), [&] { form->Button2Click(); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, QStringLiteral("'-3x5' is not a valid floating point value."));
}

// The cursor in screen px, not in the window's: the window is well away from
// the screen's corner, the cursor on its protocol box.
TEST_F(MainWindow, DiagnosticsBoxShowsCursorAndChartSize)
{
    form->move(150, 90);
    QCursor::setPos(1234, 567);
    form->FormMouseMove();
    EXPECT_EQ(form->Memo2->toPlainText(), QStringLiteral("mousex=1234\nmousey=567\n700\n1000"));
}

TEST_F(MainWindow, CopyChartPutsChartImageOnClipboard)
{
    QApplication::clipboard()->setText(QStringLiteral("previous"));
    clickChart(kMiddle);
    form->Button4->click();
    const QImage image = QApplication::clipboard()->image();
    EXPECT_EQ(image.size(), QSize(1000, 700) * form->Chart1->devicePixelRatioF());
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
    EXPECT_EQ(QColor(image.pixel(kMiddle)).red(), 255); // the measured point
    EXPECT_EQ(form->work().session().count(), 1);
}

TEST(ErrorReport, TextGetsFullStopUnlessEndingInOneOrLower)
{
    const std::pair<const char*, const char*> table[] = {
        {"Integer overflow", "Integer overflow."},
        {"Stream write error.", "Stream write error."},
        {"Wait!", "Wait!"},
        {"Cannot create file \"x\". y)", "Cannot create file \"x\". y)"},
        {"ends in quote\"", "ends in quote\""},
        {"ends in letter z", "ends in letter z."},
        {"", ""},
    };
    for (const auto& [in, out] : table)
        EXPECT_EQ(ui::reportText(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

TEST(ErrorReport, CaptionIsExecutableBaseNameCapitalised)
{
    EXPECT_EQ(ui::programTitle(QStringLiteral("/usr/bin/potencor")), QStringLiteral("Potencor"));
    EXPECT_EQ(ui::programTitle(QStringLiteral("C:/lab/POTENCOR.exe")), QStringLiteral("Potencor"));
}

// A path of 4,000 bytes: the box stays a sane size, the path elided in the
// middle, the whole message under the details.
TEST(ErrorReport, LongPathIsElidedInTheBox)
{
    const QString path = QStringLiteral("/home/student/") + QString(2000, QChar(0x0436)) + QStringLiteral("/end.txt");
    const QString message = QStringLiteral("Cannot create file \"%1\". File name too long").arg(path);
    QString shown, details;
    int width = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        details = box->detailedText();
        width = box->width();
        box->accept();
    });
    ui::report(nullptr, message);
    EXPECT_LT(width, 700);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Cannot create file \"/home/student/"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/end.txt\". File name too long."))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(details, message + QLatin1Char('.'));
}

// Every message that carries paths: each long path is shortened in its own
// quotes, the words around them never. A path may hold a quote of its own.
TEST(ErrorReport, LongPathsAreShortenedNeverTheSentence)
{
    const QString dir = QStringLiteral("/home/student/") + QString(300, QChar(0x0436));
    const QString journal = dir + QStringLiteral("/potencor/session-12-34.journal");
    const QString quoted = dir + QStringLiteral("/a \"b\".txt");
    struct Case {
        const char* name;
        QString message;
        QStringList paths; // in the order they appear
    };
    const Case cases[] = {
        {"CannotCreate", QStringLiteral("Cannot create file \"%1/p.txt\". No space left on device").arg(dir),
         {dir + QStringLiteral("/p.txt")}},
        {"CannotOpen",
         QStringLiteral("Не удаётся открыть протокол \"%1/p.txt\". Это канал или сокет, а не файл").arg(dir),
         {dir + QStringLiteral("/p.txt")}},
        {"UnreadableJournal",
         QStringLiteral("Файл восстановления \"%1\" повреждён или записан не этой программой, восстановить из "
                        "него работу нельзя. Он сохранён как \"%2\"")
             .arg(journal, journal + QStringLiteral(".unreadable-20240101-120000")),
         {journal, journal + QStringLiteral(".unreadable-20240101-120000")}},
        {"QuoteInTheName", QStringLiteral("Cannot create file \"%1\". Permission denied").arg(quoted), {quoted}},
    };
    for (const Case& c : cases) {
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->text();
            box->accept();
        });
        ui::report(nullptr, c.message);
        // The message's own words, all of them, with each path's place
        // holding a shortening of that path.
        QString pattern = QStringLiteral("^");
        QString rest = ui::reportText(c.message);
        for (const QString& path : c.paths) {
            const qsizetype at = rest.indexOf(path);
            ASSERT_GE(at, 0);
            pattern += QRegularExpression::escape(rest.left(at)) + QStringLiteral("(.+)");
            rest = rest.mid(at + path.size());
        }
        pattern += QRegularExpression::escape(rest) + QStringLiteral("$");
        const QRegularExpressionMatch m = QRegularExpression(pattern).match(shown);
        ASSERT_TRUE(m.hasMatch()) << c.name << ": the words around the paths changed: " << shown.toStdString();
        for (qsizetype i = 0; i < c.paths.size(); ++i) {
            const QString elided = m.captured(static_cast<int>(i + 1));
            const qsizetype dots = elided.indexOf(QChar(0x2026));
            ASSERT_GE(dots, 0) << c.name << ": not shortened: " << elided.toStdString();
            EXPECT_TRUE(c.paths[i].startsWith(elided.left(dots))) << c.name << ": " << elided.toStdString();
            EXPECT_TRUE(c.paths[i].endsWith(elided.mid(dots + 1))) << c.name << ": " << elided.toStdString();
        }
    }
}

TEST(StartupWarning, IsModalWithExactTextAndAnyAnswerStartsTheSame)
{
    for (const bool viaCloseBox : {false, true}) {
        QString title, text;
        bool formVisibleDuringWarning = true;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            ASSERT_EQ(box->buttons().size(), 1);
            EXPECT_EQ(box->buttons()[0]->text(), QStringLiteral("OK"));
            formVisibleDuringWarning = box->parentWidget() && box->parentWidget()->isVisible();
            if (viaCloseBox)
                box->reject();
            else
                box->buttons()[0]->click();
        });
        TForm1 form;
        EXPECT_EQ(title, QStringLiteral("Warning"));
        EXPECT_EQ(text, QStringLiteral("Перед выполнением работы установите в \"Параметрах экрана\" значение \"Масштаба\" 100%!!!"));
        EXPECT_FALSE(formVisibleDuringWarning);
        EXPECT_EQ(form.Chart1->Series2()->Count(), 200);
        EXPECT_EQ(form.work().calibration().Nx, 962);
    }
}

class SaveThroughDialog : public MainWindow {
protected:
    // Runs Button5 and answers the dialog the way a user does.
    void saveAs(const QString& name, int encodingIndex, bool confirm)
    {
        QTimer::singleShot(0, [&] {
            auto* component = form->SaveTextFileDialog1;
            QFileDialog* dialog = component->window();
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(dialog->isVisible());
            EXPECT_EQ(component->encodingList()->currentIndex(), component->EncodingIndex);
            seenPrefill = dialog->selectedFiles().value(0);
            component->encodingList()->setCurrentIndex(encodingIndex);
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(name);
            if (!confirm) {
                dialog->reject();
                return;
            }
            static_cast<QDialog*>(dialog)->accept(); // runs QFileDialog's own checks
            if (dialog->isVisible()) { // sent back by a question: confirm what is selected now
                encodingWhenSentBack = component->encodingList()->currentIndex();
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        // The program's questions, answered in turn by the button labelled so.
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->objectName() != QStringLiteral("question"))
                return;
            questions.push_back({box->windowTitle(), box->text()});
            const QString label = answers.empty() ? QString() : answers.front();
            if (!answers.empty())
                answers.erase(answers.begin());
            for (QAbstractButton* b : box->buttons())
                if (b->text() == label)
                    return b->click();
            box->reject();
        });
        answerer.start(5);
        form->Button5->click();
    }
    QByteArray saved(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir dir;
    QString seenPrefill;
    std::vector<QString> answers;
    std::vector<Report> questions;
    int encodingWhenSentBack = -1;
};

TEST_F(SaveThroughDialog, WritesProtocolInChosenEncodingAndRemembersPath)
{
    clickChart(kMiddle);
    const QString path = dir.filePath(QStringLiteral("protocol.txt"));
    saveAs(path, 0, true);
    EXPECT_TRUE(seenPrefill.endsWith(QStringLiteral("/data.txt"))) << seenPrefill.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.endsWith("\x20\xC2\r\n")) << bytes.toHex(' ').toStdString();
    EXPECT_EQ(form->SaveTextFileDialog1->FileName, path);
    f.close();

    saveAs(path, 4, true); // UTF-8
    EXPECT_EQ(seenPrefill, path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray utf8 = f.readAll();
    EXPECT_TRUE(utf8.startsWith("\xEF\xBB\xBF" "0: x=21.425")) << utf8.toHex(' ').toStdString();
    EXPECT_EQ(form->SaveTextFileDialog1->EncodingIndex, 4);
    EXPECT_TRUE(reports.empty());
}

TEST_F(SaveThroughDialog, CancelWritesNothingButKeepsEncoding)
{
    saveAs(dir.filePath(QStringLiteral("never.txt")), 2, false);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("never.txt"))));
    EXPECT_EQ(form->SaveTextFileDialog1->FileName, QStringLiteral("data.txt"));
    EXPECT_EQ(form->SaveTextFileDialog1->EncodingIndex, 2);
}

TEST_F(SaveThroughDialog, FailedCreateIsReportedAndDialogCloses)
{
    const QString path = dir.filePath(QStringLiteral("missing/data.txt"));
    saveAs(path, 0, true);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].text, QStringLiteral("Cannot create file \"%1\". No such file or directory.").arg(path));
    EXPECT_FALSE(form->SaveTextFileDialog1->window()->isVisible());
    EXPECT_EQ(form->SaveTextFileDialog1->FileName, path);
}

struct LossCase {
    const char* name;
    QString text;
    int encoding;
    const char* answer;   // to the question, or null when none is to be asked
    const char* question; // a part of its text
    int encodingSaved;
    QByteArray bytes;
};

void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

class SaveLosingCharacters : public SaveThroughDialog, public ::testing::WithParamInterface<LossCase> {};

// Before characters become '?' the student is asked, and may go back to the
// dialog (UTF-8 then selected) or save anyway; a text that fits asks nothing.
TEST_P(SaveLosingCharacters, AsksFirst)
{
    const LossCase& c = GetParam();
    form->Memo1->document()->setPlainText(c.text);
    if (c.answer)
        answers = {QString::fromUtf8(c.answer)};
    const QString path = dir.filePath(QStringLiteral("protocol.txt"));
    saveAs(path, c.encoding, true);
    EXPECT_EQ(saved(path).toHex(' '), c.bytes.toHex(' '));
    EXPECT_EQ(form->SaveTextFileDialog1->EncodingIndex, c.encodingSaved);
    EXPECT_TRUE(reports.empty());
    if (!c.answer) {
        EXPECT_TRUE(questions.empty()) << questions[0].text.toStdString();
        return;
    }
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, kOwnTitle);
    EXPECT_TRUE(questions[0].text.contains(QString::fromUtf8(c.question))) << questions[0].text.toStdString();
    EXPECT_TRUE(questions[0].text.contains(QStringLiteral("UTF-8")));
    EXPECT_EQ(encodingWhenSentBack, c.encodingSaved == c.encoding ? -1 : 4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SaveLosingCharacters,
    ::testing::Values(
        LossCase{"AsciiGoBackSavesUtf8", QStringLiteral("1: 5 см В\n"), 1, "Выбрать другую кодировку",
                 "В кодировке ASCII нельзя записать 3 символа протокола (разных: 3): «с», «м», «В».", 4,
                 QByteArray::fromHex("efbbbf") + QStringLiteral("1: 5 см В\r\n").toUtf8()},
        LossCase{"AnsiSaveAnyway", QStringLiteral("é中😀é\u2028x\n"), 0, "Сохранить всё равно",
                 "нельзя записать 5 символов протокола (разных: 4): «é», «中», «😀», U+2028.", 0, "?????x\r\n"},
        LossCase{"AnsiFitsNothingAsked", QStringLiteral("0: x=1,000см\u00A0В\n"), 0, nullptr, "", 0,
                 QByteArray::fromHex("303a20783d312c303030f1eca0c20d0a")}),
    [](const auto& info) { return std::string(info.param.name); });

// Nothing of the save dialog opens a file while it lists a folder: guessing a
// type from the content blocks for good on /proc/kmsg or a stalled network folder.
TEST_F(SaveThroughDialog, ListingAFolderOpensNoFile)
{
    const std::pair<const char*, QByteArray> files[] = {
        {"report", "%PDF-1.4\n"}, {"notes.txt", "0: x=1\r\n"}, {"picture.png", "not a picture"}};
    for (const auto& [name, bytes] : files) {
        QFile f(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(dir.path()).constData(), IN_OPEN | IN_ACCESS), 0);

    int listed = 0;
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = form->SaveTextFileDialog1->window();
        dialog->setDirectory(dir.path());
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const QModelIndex folder = model->index(dir.path());
        // Only notes.txt passes the "*.txt" filter; the others are looked at all the same.
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 1; }, 5000));
        listed = model->rowCount(folder);
        for (int row = 0; row < listed; ++row) {
            model->data(model->index(row, 0, folder), Qt::DecorationRole);
            model->data(model->index(row, 2, folder), Qt::DisplayRole); // the type column
        }
        // The dialog's file-information thread takes requests in turn: a file
        // moved in now is listed only once it has dealt with those above.
        // Moved, not written, so that its making opens nothing in the folder.
        QTemporaryDir outside;
        const QString made = outside.filePath(QStringLiteral("sentinel.txt"));
        QFile sentinel(made);
        ASSERT_TRUE(sentinel.open(QIODevice::WriteOnly));
        sentinel.close();
        ASSERT_TRUE(QFile::rename(made, dir.filePath(QStringLiteral("sentinel.txt"))));
        EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) == 2; }, 10000))
            << "the dialog never listed the file moved into its folder";
        dialog->reject();
    });
    form->Button5->click();
    EXPECT_EQ(listed, 1);

    QStringList opened;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;) {
        for (char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if (!(e->mask & IN_ISDIR) && e->len > 0)
                opened << QString::fromUtf8(e->name);
            p += sizeof(inotify_event) + e->len;
        }
    }
    ::close(watch);
    EXPECT_TRUE(opened.isEmpty()) << opened.join(QLatin1Char(' ')).toStdString();
}

} // namespace
