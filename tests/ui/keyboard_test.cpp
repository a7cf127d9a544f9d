// The keyboard probe on the chart and what assistive technology learns of the
// windows. Pixels are worked out by hand from the calibration (see
// chart_test.cpp): x cm lies at chart column 27 + x * 962 / 42.85 and y cm at
// row 678 - y * 677 / 30, both rounded; the plot covers columns 27..989 and
// rows 1..678.
#include "tests/ui/form_fixture.h"
#include "ui/Dialog/Dialog.h"
#include "ui/chart.h"
#include "ui/mainwindow.h"
#include "work/workbench.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

using namespace potencor;
using potencor::ui::TForm1;

namespace {

struct Keys {
    std::vector<QKeyCombination> combinations;
};

class KeyboardProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = test::shownForm();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->Chart1->setFocus();
        ASSERT_TRUE(form->Chart1->hasFocus());
    }

    void press(std::initializer_list<QKeyCombination> keys) { press(std::vector<QKeyCombination>(keys)); }
    void press(const std::vector<QKeyCombination>& keys)
    {
        for (QKeyCombination k : keys)
            QTest::keyClick(form->Chart1, k.key(), k.keyboardModifiers());
    }
    void pressTimes(QKeyCombination key, int times)
    {
        for (int i = 0; i < times; ++i)
            press({key});
    }
    QPoint probe() const
    {
        const QPointF p = form->Chart1->probe();
        EXPECT_EQ(p, QPointF(p.toPoint())) << "not on a whole pixel at a ratio of 1";
        return p.toPoint();
    }
    QStringList lines() const { return form->Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QAccessibleInterface* chartAccessible() const { return QAccessible::queryAccessibleInterface(form->Chart1); }
    void useRussianLocale() { form->setLocale(QLocale(QLocale::Russian, QLocale::Russia)); }

    std::unique_ptr<TForm1> form;
};

// ---- moving the probe -------------------------------------------------------

struct MoveCase {
    const char* name;
    std::vector<QKeyCombination> keys;
    QPoint expected;
};

class ProbeKeys : public KeyboardProbe, public ::testing::WithParamInterface<MoveCase> {};

// From the mouse at the middle, (508, 340): x = 21.425 cm, y = 14.978 cm.
TEST_P(ProbeKeys, MoveTheProbeFromTheMouse)
{
    test::moveOverChart(*form, test::kMiddle);
    press(GetParam().keys);
    EXPECT_EQ(probe(), GetParam().expected);
    EXPECT_TRUE(form->Chart1->probeShown());
}

INSTANTIATE_TEST_SUITE_P(
    Chart, ProbeKeys,
    ::testing::Values(
        MoveCase{"Right", {Qt::Key_Right}, {509, 340}},
        MoveCase{"Left", {Qt::Key_Left}, {507, 340}},
        MoveCase{"Up", {Qt::Key_Up}, {508, 339}},
        MoveCase{"DownTwice", {Qt::Key_Down, Qt::Key_Down}, {508, 342}},
        MoveCase{"Home", {Qt::Key_Home}, {27, 340}},
        MoveCase{"End", {Qt::Key_End}, {989, 340}},
        MoveCase{"PageUp", {Qt::Key_PageUp}, {508, 1}},
        MoveCase{"PageDown", {Qt::Key_PageDown}, {508, 678}},
        // The probe never leaves the plot.
        MoveCase{"PastTheLeftEdge", {Qt::Key_Home, Qt::Key_Left}, {27, 340}},
        MoveCase{"PastTheTopEdge", {Qt::Key_PageUp, Qt::Key_Up}, {508, 1}},
        MoveCase{"PastTheBottomRight", {Qt::Key_End, Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Down}, {989, 678}},
        // 21.5 cm at 27 + 482.684; 22.0 cm at 27 + 493.907.
        MoveCase{"ShiftRight", {Qt::SHIFT | Qt::Key_Right}, {510, 340}},
        MoveCase{"ShiftRightTwice", {Qt::SHIFT | Qt::Key_Right, Qt::SHIFT | Qt::Key_Right}, {521, 340}},
        // 21.0 cm at 27 + 471.459.
        MoveCase{"ShiftLeft", {Qt::SHIFT | Qt::Key_Left}, {498, 340}},
        // 15.0 cm lies at 678 - 338.5, on this very row (rounded up): the
        // next line up is 15.5 cm at 678 - 349.783; down, 14.5 cm at 678 - 327.217.
        MoveCase{"ShiftUp", {Qt::SHIFT | Qt::Key_Up}, {508, 328}},
        MoveCase{"ShiftDown", {Qt::SHIFT | Qt::Key_Down}, {508, 351}},
        // 0.5 cm at 27 + 11.225; nothing left of 0 cm inside the plot.
        MoveCase{"HomeShiftRight", {Qt::Key_Home, Qt::SHIFT | Qt::Key_Right}, {38, 340}},
        MoveCase{"HomeShiftLeft", {Qt::Key_Home, Qt::SHIFT | Qt::Key_Left}, {27, 340}},
        // The right edge measures 42.85 cm (43.0 snapped); 42.5 cm at 27 + 954.14.
        MoveCase{"EndShiftLeft", {Qt::Key_End, Qt::SHIFT | Qt::Key_Left}, {981, 340}},
        MoveCase{"EndShiftRight", {Qt::Key_End, Qt::SHIFT | Qt::Key_Right}, {989, 340}},
        // 0.5 cm up from the bottom edge: 678 - 11.283.
        MoveCase{"PageDownShiftUp", {Qt::Key_PageDown, Qt::SHIFT | Qt::Key_Up}, {508, 667}},
        // Keypad arrows are arrows.
        MoveCase{"KeypadRight", {Qt::KeypadModifier | Qt::Key_Right}, {509, 340}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyboardProbe, StartsAtThePlotsCentreWithoutTheMouseAndFollowsTheMouseOverTheChart)
{
    // A window shown away from the mouse.
    form.reset();
    QCursor::setPos(QPoint(5000, 5000));
    SetUp();
    ASSERT_FALSE(form->Chart1->underMouse());
    press({Qt::Key_Right});
    EXPECT_EQ(probe(), QPoint(509, 339)); // the centre of columns 27..989, rows 1..678
    test::moveOverChart(*form, {200, 300});
    EXPECT_EQ(probe(), QPoint(200, 300));
    test::moveOverChart(*form, {5, 695}); // over the axis labels: the plot's nearest pixel
    EXPECT_EQ(probe(), QPoint(27, 678));
}

// ---- the readout and the measurement ------------------------------------------

TEST_F(KeyboardProbe, ReadoutAndTheChartsValueFollowTheProbe)
{
    useRussianLocale();
    test::moveOverChart(*form, {508, 300});
    pressTimes(Qt::Key_Down, 40);
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x =21,425 см"));
    EXPECT_EQ(form->Label5->text(), QStringLiteral("y =14,978 см"));
    EXPECT_EQ(form->Label3->text(), QStringLiteral("phi =6,300 В"));
    QAccessibleInterface* chart = chartAccessible();
    ASSERT_NE(chart, nullptr);
    ASSERT_NE(chart->valueInterface(), nullptr);
    EXPECT_EQ(chart->text(QAccessible::Value), QStringLiteral("x = 21,425 см, y = 14,978 см, phi = 6,300 В"));
    // As a number, the potential read, within the electrodes' range.
    EXPECT_NEAR(chart->valueInterface()->currentValue().toDouble(), 6.300, 0.0005);
    EXPECT_EQ(chart->valueInterface()->minimumValue().toDouble(), 0.0);
    EXPECT_EQ(chart->valueInterface()->maximumValue().toDouble(), 12.6);
    press({Qt::Key_Home, Qt::Key_PageDown}); // the plot's lower-left corner
    EXPECT_EQ(form->Label4->text(), QStringLiteral("x =0,000 см"));
    EXPECT_EQ(form->Label5->text(), QStringLiteral("y =0,000 см"));
    EXPECT_EQ(form->Label3->text(), QStringLiteral("phi =4,672 В"));
    EXPECT_EQ(chart->text(QAccessible::Value), QStringLiteral("x = 0,000 см, y = 0,000 см, phi = 4,672 В"));
    EXPECT_NEAR(chart->valueInterface()->currentValue().toDouble(), 4.672, 0.0005);
    // Over AT-SPI the value goes as text.
    ASSERT_NE(chart->textInterface(), nullptr);
    EXPECT_EQ(chart->textInterface()->text(0, -1), chart->text(QAccessible::Value));
    // The mouse takes the readout back.
    test::moveOverChart(*form, test::kMiddle);
    EXPECT_EQ(chart->text(QAccessible::Value), QStringLiteral("x = 21,425 см, y = 14,978 см, phi = 6,300 В"));
}

struct MeasureCase {
    const char* name;
    Qt::Key key;
    bool snap;
};

class EnterMeasures : public KeyboardProbe, public ::testing::WithParamInterface<MeasureCase> {};

// The keys' line and a click's on the probe's pixel differ only in their numbers.
TEST_P(EnterMeasures, AsAClickOnTheProbesPixel)
{
    form->CheckBox1->setChecked(GetParam().snap);
    test::moveOverChart(*form, {300, 420});
    press({Qt::SHIFT | Qt::Key_Right, Qt::Key_Down, Qt::Key_Down, Qt::Key_Left});
    const QPoint at = probe();
    press({GetParam().key});
    test::clickChart(*form, at);
    ASSERT_EQ(lines().size(), 2);
    EXPECT_TRUE(lines()[0].startsWith(QStringLiteral("0: x=")));
    EXPECT_EQ(lines()[0].mid(1), lines()[1].mid(1));
    const auto& points = form->work().session().points();
    ASSERT_EQ(points.size(), 2U);
    EXPECT_EQ(points[0].X1_cm, points[1].X1_cm);
    EXPECT_EQ(points[0].Y1_cm, points[1].Y1_cm);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 2);
}

INSTANTIATE_TEST_SUITE_P(Chart, EnterMeasures,
                         ::testing::Values(MeasureCase{"Return", Qt::Key_Return, false},
                                           MeasureCase{"Enter", Qt::Key_Enter, false},
                                           MeasureCase{"Space", Qt::Key_Space, false},
                                           MeasureCase{"ReturnSnapped", Qt::Key_Return, true},
                                           MeasureCase{"SpaceSnapped", Qt::Key_Space, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(KeyboardProbe, EnterAtTheMiddleWritesItsLineAndSaysSo)
{
    test::moveOverChart(*form, {508, 330});
    pressTimes(Qt::Key_Down, 10);
    press({Qt::Key_Return});
    EXPECT_EQ(lines(), QStringList{QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В")});
    QAccessibleInterface* chart = chartAccessible();
    EXPECT_EQ(chart->text(QAccessible::Value), QStringLiteral("Записано: 0: x=21.425см y=14.978см phi=6.300 В"));
    EXPECT_EQ(chart->text(QAccessible::Description), QStringLiteral("Измерено точек: 1"));
}

TEST_F(KeyboardProbe, EnterMeasuresNothingWithMeasurementModeOffNorWhenHeld)
{
    form->CheckBox3->setChecked(false);
    press({Qt::Key_Right, Qt::Key_Return, Qt::Key_Space});
    EXPECT_TRUE(lines().isEmpty());
    EXPECT_EQ(form->work().session().count(), 0);
    EXPECT_EQ(chartAccessible()->text(QAccessible::Value),
              QStringLiteral("Режим измерения выключен, измерение не записано"));

    form->CheckBox3->setChecked(true);
    press({Qt::Key_Return});
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        QKeyEvent repeated(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(form->Chart1, &repeated);
    }
    EXPECT_EQ(lines().size(), 1) << "a held key measured again";
}

TEST_F(KeyboardProbe, CtrlZOnTheChartRemovesTheLastPointAsTheButtonDoes)
{
    press({Qt::Key_Home, Qt::Key_PageDown, Qt::Key_Return, Qt::Key_Right, Qt::Key_Return});
    ASSERT_EQ(lines().size(), 2);
    press({Qt::CTRL | Qt::Key_Z});
    EXPECT_EQ(lines(), QStringList{QStringLiteral("0: x=0.000см y=0.000см phi=4.672 В")});
    EXPECT_EQ(form->work().session().count(), 1);
    EXPECT_EQ(form->Chart1->Series1()->Count(), 1);
    EXPECT_EQ(chartAccessible()->text(QAccessible::Value), QStringLiteral("Удалена точка 1"));
    EXPECT_EQ(chartAccessible()->text(QAccessible::Description), QStringLiteral("Измерено точек: 1"));
    // The next measurement goes on from there, as after the button.
    press({Qt::Key_Return});
    EXPECT_TRUE(lines().value(1).startsWith(QStringLiteral("1: x=0.045см y=0.000см")));
}

// ---- what is drawn -----------------------------------------------------------------

QImage shown(TForm1& form) { return form.Chart1->grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST_F(KeyboardProbe, IsDrawnOnlyAfterAKeyWhileTheChartHasTheFocusAndNeverInTheImage)
{
    const QImage picture = form->Chart1->renderImage();
    // A mouse user: the chart has the focus after a click, and shows nothing more.
    test::moveOverChart(*form, {600, 200});
    test::clickChart(*form, {600, 200});
    EXPECT_EQ(shown(*form), form->Chart1->renderImage());

    press({Qt::Key_Left}); // to (599, 200)
    const QImage withProbe = shown(*form);
    const QImage image = form->Chart1->renderImage();
    const QColor highlight = form->Chart1->palette().color(QPalette::Highlight);
    const auto probeColoured = [&](int x, int y) { return withProbe.pixelColor(x, y) == highlight; };
    const auto asInImage = [&](int x, int y) { return withProbe.pixel(x, y) == image.pixel(x, y); };
    for (int d : {3, 6, 10}) {
        EXPECT_TRUE(probeColoured(599 - d, 200)) << d;
        EXPECT_TRUE(probeColoured(599 + d, 200)) << d;
        EXPECT_TRUE(probeColoured(599, 200 - d)) << d;
        EXPECT_TRUE(probeColoured(599, 200 + d)) << d;
    }
    for (QPoint p : {QPoint(599, 200), QPoint(597, 200), QPoint(599, 198), QPoint(588, 200), QPoint(599, 211),
                     QPoint(596, 197)})
        EXPECT_TRUE(asInImage(p.x(), p.y())) << p.x() << "," << p.y() << ": the probe covers more than its arms";
    // The focus frame: the chart's outer two pixels.
    for (QPoint p : {QPoint(0, 0), QPoint(1, 350), QPoint(500, 698), QPoint(999, 699)})
        EXPECT_TRUE(probeColoured(p.x(), p.y())) << p.x() << "," << p.y();
    EXPECT_TRUE(asInImage(2, 350));
    // The clipboard's picture has no probe, and is what it was (the click's point added).
    EXPECT_EQ(image.pixel(599 - 6, 200), picture.pixel(599 - 6, 200));

    form->Memo1->setFocus();
    EXPECT_FALSE(form->Chart1->probeShown());
    EXPECT_EQ(shown(*form), form->Chart1->renderImage());
}

// ---- names for assistive technology -----------------------------------------------

// Every control the keyboard can reach has a name.
void expectNamedControls(QWidget* window)
{
    const auto widgets = window->findChildren<QWidget*>();
    int checked = 0;
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window) || w->focusPolicy() == Qt::NoFocus || w->window() != window)
            continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(iface, nullptr) << w->objectName().toStdString();
        EXPECT_FALSE(iface->text(QAccessible::Name).trimmed().isEmpty())
            << w->metaObject()->className() << " " << w->objectName().toStdString() << " has no name";
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(KeyboardProbe, EveryControlHasARussianName)
{
    expectNamedControls(form.get());
    const auto name = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
    EXPECT_EQ(name(form->Memo1), QStringLiteral("Протокол измерений"));
    EXPECT_EQ(name(form->Button5), QStringLiteral("Сохранить данные в файл"));
    EXPECT_EQ(name(form->CheckBox1), QStringLiteral("фикисированный сдвиг 0,5 см"));
    EXPECT_EQ(name(form->Chart1), QStringLiteral("Плоскость измерений 42.83 × 30 см"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form->Chart1)->role(), QAccessible::Chart);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form->Chart1)->text(QAccessible::Description),
              QStringLiteral("Измерено точек: 0"));
    test::moveOverChart(*form, test::kMiddle);
    EXPECT_EQ(name(form->Label4), QStringLiteral("x =21.425 см")); // the readout as it shows

    ui::TForm2 about(form.get());
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    expectNamedControls(&about);
    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(about.Image1());
    EXPECT_EQ(picture->role(), QAccessible::Graphic);
    EXPECT_EQ(picture->text(QAccessible::Name), QStringLiteral("Два заряженных цилиндра и плоскость измерений"));
    EXPECT_FALSE(picture->text(QAccessible::Description).isEmpty());
    EXPECT_EQ(name(about.Memo1()), QStringLiteral("Описание программы"));
}

} // namespace
