// Start-up desktop set-up: Qt's own texts in Russian while the program's own
// texts stay as written, and faces with Cyrillic for the fonts the windows name.
#include "ui/Dialog/Dialog.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/mainwindow.h"
#include "ui/save_dialog.h"
#include "ui/translations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace potencor::ui {
namespace {

bool hasCyrillic(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.script() == QChar::Script_Cyrillic; });
}

class QtTranslations : public ::testing::Test {
protected:
    void SetUp() override
    {
        translator = installQtTranslations(*qApp);
        ASSERT_NE(translator, nullptr) << "qtbase_ru.qm not found: qt6-translations-l10n missing?";
    }
    void TearDown() override
    {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    QTranslator* translator = nullptr;
};

TEST_F(QtTranslations, SaveDialogSpeaksRussianButKeepsOurEncodingList)
{
    QWidget owner;
    TSaveTextFileDialog component(&owner);
    QFileDialog& dialog = *component.ensureWindow();
    EXPECT_TRUE(hasCyrillic(dialog.windowTitle())) << dialog.windowTitle().toStdString();
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
        ASSERT_NE(label, nullptr) << name;
        EXPECT_TRUE(hasCyrillic(label->text())) << name << ": " << label->text().toStdString();
    }
    const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    ASSERT_EQ(buttons->buttons().size(), 2);
    for (const QAbstractButton* button : buttons->buttons())
        EXPECT_TRUE(hasCyrillic(button->text())) << button->text().toStdString();

    const QLabel* encodingLabel = nullptr;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->buddy() == component.encodingList())
            encodingLabel = label;
    ASSERT_NE(encodingLabel, nullptr);
    EXPECT_EQ(encodingLabel->text(), QStringLiteral("Encoding:"));
    QStringList items;
    for (int i = 0; i < component.encodingList()->count(); ++i)
        items << component.encodingList()->itemText(i);
    EXPECT_EQ(items, (QStringList{QStringLiteral("ANSI"), QStringLiteral("ASCII"), QStringLiteral("Unicode"),
                                  QStringLiteral("Big Endian Unicode"), QStringLiteral("UTF-8"),
                                  QStringLiteral("UTF-7")}));
}

// The boxes the program words itself, answered as soon as they are up.
TEST_F(QtTranslations, MessageBoxesKeepTheirOwnTexts)
{
    struct Case {
        const char* name;
        std::function<void()> show;
        QString title;
        QString text;
    };
    setPresenter({});
    const Case cases[] = {
        {"StartupWarning", [] { showDisplayScaleWarning(nullptr); }, QStringLiteral("Warning"),
         QStringLiteral("Перед выполнением работы установите в \"Параметрах экрана\" значение "
                        "\"Масштаба\" 100%!!!")},
        // The program title of the executable running these tests, ui_tests.
        {"ErrorReport", [] { report(nullptr, QStringLiteral("Stream write error")); }, QStringLiteral("Ui_tests"),
         QStringLiteral("Stream write error.")},
    };
    ASSERT_EQ(QFileInfo(QCoreApplication::applicationFilePath()).fileName(), QStringLiteral("ui_tests"));
    for (const Case& c : cases) {
        QString title, text;
        QStringList buttonTexts;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            for (const QAbstractButton* button : box->buttons())
                buttonTexts << button->text();
            box->buttons().value(0)->click();
        });
        c.show();
        EXPECT_EQ(title, c.title) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
        EXPECT_EQ(buttonTexts, QStringList{QStringLiteral("OK")}) << c.name;
    }
}

QString textOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(w))
        return memo->toPlainText();
    return {};
}

class FontSubstitutions : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QFontDatabase::hasFamily(QStringLiteral("Segoe UI")))
            GTEST_SKIP() << "Segoe UI is installed: nothing is substituted";
        installFontSubstitutions();
    }
    void TearDown() override
    {
        QFont::removeSubstitutions(QStringLiteral("Segoe UI"));
        QFont::removeSubstitutions(QStringLiteral("Arial"));
    }
};

// Every control with text gets a face of Segoe UI's widths that has a glyph
// for each of its characters, Cyrillic included: no fallback boxes.
TEST_F(FontSubstitutions, EveryControlDrawsItsTextInLiberationSans)
{
    TForm1 form(TForm1::Options{.showStartupWarning = false});
    TForm2 about(&form);
    int checked = 0;
    for (const QWidget* window : {static_cast<QWidget*>(&form), static_cast<QWidget*>(&about)}) {
        for (const QWidget* w : window->findChildren<QWidget*>()) {
            const QString text = textOf(w);
            // Dialogs owned by the window use the desktop's font, not its.
            if (text.isEmpty() || w->window() != window)
                continue;
            ++checked;
            const std::string name = w->objectName().toStdString();
            EXPECT_EQ(QFontInfo(w->font()).family(), QStringLiteral("Liberation Sans")) << name;
            const QFontMetrics metrics(w->font());
            for (const char32_t c : text.toUcs4()) {
                if (QChar::isSpace(c))
                    continue;
                EXPECT_TRUE(metrics.inFontUcs4(c)) << name << ": U+" << std::hex << unsigned(c);
            }
        }
    }
    EXPECT_GE(checked, 18); // 17 in the main window, the description in the About window
    // The chart's axis labels and point marks.
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Arial"), 8)).family(), QStringLiteral("Liberation Sans"));
}

// The program asks for the face that will be drawn, never for a missing one.
TEST_F(FontSubstitutions, InstalledFamilyIsTheFaceDrawn)
{
    const QString missing = QStringLiteral("Potencor Missing Face");
    QFont::insertSubstitutions(missing, {QStringLiteral("Another Missing Face"), QStringLiteral("DejaVu Sans")});
    const struct {
        QString asked;
        QString expected;
    } cases[] = {
        {QStringLiteral("Segoe UI"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")},
        {QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Sans")},           // installed: itself
        {missing, QStringLiteral("DejaVu Sans")},                                // first installed substitute
        {QStringLiteral("No Such Face"), QStringLiteral("No Such Face")},        // nothing better to ask for
    };
    for (const auto& c : cases)
        EXPECT_EQ(installedFamily(c.asked).toStdString(), c.expected.toStdString()) << c.asked.toStdString();
    QFont::removeSubstitutions(missing);
    EXPECT_EQ(QFontInfo(windowFont(12)).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(chartFont(8)).family(), QStringLiteral("Liberation Sans"));
}

} // namespace
} // namespace potencor::ui
