// The About window: its text, its picture, its frame and where it appears.
#include "ui/Dialog/Dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

namespace potencor::ui {
namespace {

// ---- fitting the picture into Image1 ---------------------------------------

struct FitCase {
    const char* name;
    QSize picture;
    QSize box;
    QSize expected;
};

class FitReduceOnly : public ::testing::TestWithParam<FitCase> {};

TEST_P(FitReduceOnly, GivesTheDrawnSize)
{
    const FitCase& c = GetParam();
    EXPECT_EQ(fitReduceOnly(c.picture, c.box), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitReduceOnly,
    ::testing::Values(
        // 533 / aspect = 333.4 does not fit the height: the height wins.
        FitCase{"IllustrationInImage1", {1135, 710}, {533, 332}, {530, 332}},
        FitCase{"SmallerIsNeverEnlarged", {400, 300}, {533, 332}, {400, 300}},
        FitCase{"ExactFitUnchanged", {533, 332}, {533, 332}, {533, 332}},
        FitCase{"WideLimitedByWidth", {1066, 500}, {533, 332}, {533, 250}},
        // 533 / 333.3 = 1.6: truncated, not rounded.
        FitCase{"ThinStripTruncates", {1000, 3}, {533, 332}, {533, 1}},
        FitCase{"OnlyWidthTooLarge", {600, 100}, {533, 332}, {533, 88}},
        FitCase{"TallLimitedByHeight", {300, 600}, {533, 332}, {166, 332}},
        FitCase{"TallInNarrowBoxWidthWins", {300, 600}, {100, 332}, {100, 200}},
        // Equal sides take the portrait branch: height first.
        FitCase{"SquareInWideBox", {1000, 1000}, {533, 332}, {332, 332}},
        FitCase{"SquareInNarrowBox", {1000, 1000}, {200, 332}, {200, 200}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- placement of the first showing ----------------------------------------

struct PlaceCase {
    const char* name;
    QRect ownerFrame;
    QSize frame;
    QRect workArea;
    QPoint expected;
};

class PlaceOverOwner : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceOverOwner, GivesTheOuterTopLeft)
{
    const PlaceCase& c = GetParam();
    EXPECT_EQ(placeOverOwner(c.ownerFrame, c.frame, c.workArea), c.expected);
}

// Both windows with the same frame: 8 px borders, 31 px title bar.
constexpr int kBorder = 8;
constexpr int kCaption = 31;
QRect framed(int left, int top, int clientW, int clientH)
{
    return {left, top, clientW + 2 * kBorder, clientH + kCaption + kBorder};
}
const QSize kAboutFrame = framed(0, 0, 982, 348).size();
const QRect kScreen(0, 0, 1920, 1040);

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceOverOwner,
    ::testing::Values(
        PlaceCase{"EqualFramesOffset132By213", framed(100, 50, 1246, 775), kAboutFrame, kScreen,
                  {100 + 132, 50 + 213}},
        PlaceCase{"HeldAtWorkAreaLeft", framed(-500, 100, 1246, 775), kAboutFrame, kScreen,
                  {0, 100 + 213}},
        // A second monitor with the task bar along its top.
        PlaceCase{"HeldAtWorkAreaTop", framed(2000, -300, 1246, 775), kAboutFrame,
                  QRect(1920, 40, 1920, 1040), {2000 + 132, 40}},
        PlaceCase{"HeldAtBothEdges", framed(-900, -700, 1246, 775), kAboutFrame, kScreen, {0, 0}},
        PlaceCase{"NotHeldAtRightOrBottom", framed(1800, 1000, 1246, 775), kAboutFrame, kScreen,
                  {1800 + 132, 1000 + 213}},
        // (101 - 202) / 2 = -50 and (10 - 17) / 2 = -3: towards zero, not floor.
        PlaceCase{"NegativeOddTruncatesTowardZero", QRect(500, 400, 101, 10), QSize(202, 17),
                  kScreen, {450, 397}},
        PlaceCase{"NoWorkAreaNoClamp", framed(-500, -400, 1246, 775), kAboutFrame, QRect(),
                  {-500 + 132, -400 + 213}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the window ------------------------------------------------------------

class AboutWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_.setFixedSize(1246, 775);
        main_.move(120, 90);
        main_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_));
        about_ = new TForm2(&main_);
    }

    QPoint frameOffset() const
    {
        return about_->frameGeometry().topLeft() - main_.frameGeometry().topLeft();
    }

    QWidget main_; // the main window's stand-in, owns the About window
    TForm2* about_ = nullptr;
};

TEST_F(AboutWindow, IsAHiddenFixedSizeStayOnTopWindowOwnedByTheMainWindow)
{
    EXPECT_EQ(about_->windowTitle(), QStringLiteral("Описание программы"));
    EXPECT_TRUE(about_->isHidden());
    EXPECT_TRUE(about_->isWindow());
    EXPECT_EQ(about_->parentWidget(), &main_);
    EXPECT_TRUE(about_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(about_->size(), QSize(982, 348));
    EXPECT_EQ(about_->minimumSize(), QSize(982, 348));
    EXPECT_EQ(about_->maximumSize(), QSize(982, 348));
    EXPECT_EQ(about_->Memo1()->geometry(), QRect(4, 8, 441, 332));
    EXPECT_EQ(about_->Image1()->geometry(), QRect(451, 8, 533, 332));
}

TEST_F(AboutWindow, MemoHoldsTheTwentyLinesExactly)
{
    const QStringList expected = {
        "1) Данная программа предназначена для виртуального выполнения",
        "лабораторных работ, относящихся к разделу \"Электростатика\".",
        "Описание лабораторных работ можно посмотреть на сайте ",
        QString::fromUtf8(POTENCOR_ABOUT_URL),
        "",
        "2) В работе исследуется электростатическое поле, создаваемое двумя ",
        "заряженными цилиндрами. Электростатическое поле исследуется путем ",
        "измерения потенциала в плоскости поперечного сечения цилиндров.",
        "",
        "3) Радиусы цилиндров равны = 1.45 см. ",
        "Расстояние между центрами цилиндров = 24.5 см.",
        "Относительная диэлектрическая проницаемость среды = 1",
        "",
        "4) Данная программа позволяет сделать работы 1-5. Однако для выполнения",
        "измерений требуется интуитивное понимание исследуемого процесса, ",
        "поэтому нельзя строго ориентироваться на пункты методических указаний",
        "",
        "5) Автор программы: ",
        QString::fromUtf8(POTENCOR_ABOUT_AUTHOR),
        QString::fromUtf8(POTENCOR_ABOUT_EMAIL),
    };
    const QTextDocument* doc = about_->Memo1()->document();
    ASSERT_EQ(doc->blockCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(doc->findBlockByNumber(i).text(), expected[i]) << "line " << i + 1;
}

TEST_F(AboutWindow, TypingIntoTheMemoChangesNothing)
{
    about_->showFromMainWindow();
    QPlainTextEdit* memo = about_->Memo1();
    const QString before = memo->toPlainText();
    QApplication::clipboard()->setText(QStringLiteral("вставка"));

    memo->moveCursor(QTextCursor::End);
    QTest::keyClicks(memo, QStringLiteral("abc 1"));
    QKeyEvent cyrillic(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("где"));
    QApplication::sendEvent(memo, &cyrillic);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClick(memo, Qt::Key_Backspace);
    memo->moveCursor(QTextCursor::Start);
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Delete);

    EXPECT_EQ(memo->toPlainText(), before);
    EXPECT_FALSE(memo->document()->isUndoAvailable());
}

TEST_F(AboutWindow, MemoTextCanBeSelectedAndCopiedWithTheKeyboard)
{
    about_->showFromMainWindow();
    QPlainTextEdit* memo = about_->Memo1();
    QApplication::clipboard()->clear();

    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);

    EXPECT_EQ(QApplication::clipboard()->text(), TForm2::memoLines().join('\n'));
    EXPECT_TRUE(memo->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
}

// The picture is reduced by dropping pixels, never smoothed, and anchored
// top-left; the rest of the box and the client area show the background.
TEST_F(AboutWindow, PictureIsDrawn530By332AtTopLeftWithABackgroundStrip)
{
    const QColor background(12, 200, 34); // nothing like the illustration's white
    QPalette pal = about_->palette();
    pal.setColor(QPalette::Window, background);
    about_->setPalette(pal);
    about_->showFromMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_));

    const QImage source = QImage(QStringLiteral(":/illustration.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(source.size(), QSize(1135, 710));
    const QImage box = about_->Image1()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(box.size(), QSize(533, 332));

    // Every drawn pixel is the source pixel under its centre: column
    // (x + 0.5) * 1135 / 530 and row (y + 0.5) * 710 / 332. Where the centre
    // lies within a hundredth of a px of a source pixel's edge, the pixel on
    // either side will do. A smoothed reduction mixes neighbours into colours
    // of its own.
    const auto near = [](int drawn, double scale) {
        const double centre = (drawn + 0.5) * scale;
        return std::pair{static_cast<int>(centre - 0.01), static_cast<int>(centre + 0.01)};
    };
    int copied = 0;
    QString firstOther;
    for (int y = 0; y < 332; ++y) {
        const auto [row1, row2] = near(y, 710.0 / 332);
        for (int x = 0; x < 530; ++x) {
            const auto [col1, col2] = near(x, 1135.0 / 530);
            const QRgb drawn = box.pixel(x, y);
            if (drawn == source.pixel(col1, row1) || drawn == source.pixel(col2, row1)
                || drawn == source.pixel(col1, row2) || drawn == source.pixel(col2, row2))
                ++copied;
            else if (firstOther.isEmpty())
                firstOther = QStringLiteral("drawn %1,%2 is not source %3,%4").arg(x).arg(y).arg(col1).arg(row1);
        }
    }
    EXPECT_EQ(copied, 530 * 332) << firstOther.toStdString();

    // What it shows where, read back at drawn px: the white corner, the rainbow
    // from green by the left cylinder (a yellow and a red ring close to it)
    // through cyan to blue and magenta by the right one, a pale orange end face.
    struct Landmark {
        const char* what;
        QPoint at;
        int hueFrom, hueTo; // degrees
    };
    const Landmark landmarks[] = {
        {"green left of the left cylinder", {133, 127}, 90, 150},
        {"yellow ring", {143, 152}, 40, 70},
        {"red ring", {159, 149}, 0, 25},
        {"cyan across the middle", {279, 156}, 170, 200},
        {"blue towards the right cylinder", {402, 149}, 220, 255},
        {"magenta by the right cylinder", {358, 122}, 285, 335},
    };
    EXPECT_EQ(box.pixelColor(0, 0), QColor(Qt::white));
    for (const Landmark& l : landmarks) {
        const QColor c = box.pixelColor(l.at);
        EXPECT_TRUE(c.hsvHue() >= l.hueFrom && c.hsvHue() <= l.hueTo && c.hsvSaturationF() > 0.5)
            << l.what << ": " << c.name().toStdString();
    }
    const QColor face = box.pixelColor(168, 76);
    EXPECT_TRUE(face.hsvHue() >= 20 && face.hsvHue() <= 45 && face.hsvSaturationF() < 0.5 && face.valueF() > 0.8)
        << "end face: " << face.name().toStdString();

    for (int x = 530; x < 533; ++x)
        for (int y = 0; y < 332; y += 1)
            ASSERT_EQ(box.pixelColor(x, y), background) << x << "," << y;

    // Within the client area: picture up to x = 980, background from 981.
    const QImage client = about_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(client.size(), QSize(982, 348));
    EXPECT_EQ(client.copy(451, 8, 530, 332), box.copy(0, 0, 530, 332));
    for (int y = 8; y < 340; ++y)
        ASSERT_EQ(client.pixelColor(981, y), background) << y;
}

TEST(AboutResources, IllustrationIsAn1135By710TwentyFourBitBmp)
{
    QFile file(QStringLiteral(":/illustration.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray h = file.read(54);
    ASSERT_EQ(h.size(), 54);
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(h.constData() + at); };
    const auto i32 = [&](int at) { return qFromLittleEndian<qint32>(h.constData() + at); };
    EXPECT_TRUE(h.startsWith("BM"));
    EXPECT_EQ(i32(18), 1135);
    EXPECT_EQ(std::abs(i32(22)), 710);
    EXPECT_EQ(u16(28), 24);   // bits per pixel
    EXPECT_EQ(i32(30), 0);    // BI_RGB: uncompressed
    EXPECT_EQ(i32(38), 2835); // px per metre
    EXPECT_EQ(i32(42), 2835);

    const QImage image(QStringLiteral(":/illustration.bmp"));
    EXPECT_EQ(image.size(), QSize(1135, 710));
    // White background, and the plane's colours somewhere in the middle.
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(567, 300), QColor(Qt::white));
}

TEST(AboutResources, IconIsA94PxPaletteImageOnADisc)
{
    const QImage icon(QStringLiteral(":/potencor.png"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(94, 94));
    EXPECT_EQ(icon.format(), QImage::Format_Indexed8);
    EXPECT_LE(icon.colorCount(), 256);
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);      // outside the disc
    EXPECT_EQ(qAlpha(icon.pixel(47, 10)), 255);  // on the disc
}

// ---- showing, hiding and where it appears ----------------------------------

TEST_F(AboutWindow, FirstShowingCentresOverTheMainWindow)
{
    about_->showFromMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_));
    EXPECT_TRUE(about_->isVisible());
    // Same frame style on both: the client sizes' halves decide.
    ASSERT_EQ(about_->frameGeometry().size() - about_->size(),
              main_.frameGeometry().size() - main_.size());
    EXPECT_EQ(frameOffset(), QPoint(132, 213));
}

TEST_F(AboutWindow, FirstShowingIsHeldAtTheWorkAreasTopLeft)
{
    main_.move(-900, -700);
    about_->showFromMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_));
    EXPECT_EQ(about_->frameGeometry().topLeft(), main_.screen()->availableGeometry().topLeft());
}

TEST_F(AboutWindow, ShowingAVisibleWindowAgainChangesNothing)
{
    about_->showFromMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_));
    const QPoint shownAt = about_->pos();

    main_.move(300, 200);
    about_->showFromMainWindow();
    EXPECT_EQ(about_->pos(), shownAt);

    about_->showMinimized();
    about_->showFromMainWindow();
    EXPECT_TRUE(about_->isMinimized());
    EXPECT_EQ(about_->pos(), shownAt);
}

TEST_F(AboutWindow, LaterShowingsKeepThePositionTheUserLeftItAt)
{
    about_->showFromMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about_));
    about_->move(310, 140); // dragged by the user
    const QPoint dragged = about_->pos();
    QPointer<TForm2> alive(about_);

    EXPECT_TRUE(about_->close());
    EXPECT_TRUE(about_->isHidden());
    QCoreApplication::processEvents();
    ASSERT_FALSE(alive.isNull()); // closing hides, never frees

    main_.move(50, 60);
    about_->showFromMainWindow();
    EXPECT_TRUE(about_->isVisible());
    EXPECT_EQ(about_->pos(), dragged);
    EXPECT_EQ(about_->Memo1()->document()->blockCount(), 20);
}

} // namespace
} // namespace potencor::ui
