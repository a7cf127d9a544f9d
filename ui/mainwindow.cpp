#include "ui/mainwindow.h"

#include "core/field.h"
#include "core/fpcheck.h"
#include "core/protocol.h"
#include "core/fixed3.h"
#include "export/clipboard_image.h"
#include "export/protocol_file.h"
#include "ui/Dialog/Dialog.h"
#include "ui/chart.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/pointer.h"
#include "ui/protocol_memo.h"
#include "ui/save_dialog.h"

#include "icon_pixels.h"

#include <QCheckBox>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace potencor::ui {
namespace {

// The pixels are compiled in: no image plugins or decoding at start-up.
QIcon programIcon()
{
    const QImage image(reinterpret_cast<const uchar*>(kIconArgbPremultiplied), kIconWidthPx, kIconHeightPx,
                       QImage::Format_ARGB32_Premultiplied);
    return QIcon(QPixmap::fromImage(image));
}

template <class W>
W* place(W* widget, int left, int top, int width, int height, const char* name)
{
    widget->setGeometry(left, top, width, height);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* readoutLabel(QWidget* parent, const QString& text, int left, const char* name)
{
    auto* label = new QLabel(text, parent);
    label->setFont(windowFont(24));
    label->move(left, 706);
    label->adjustSize();
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

char32_t decimalSeparatorOf(const QLocale& locale)
{
    const QString sep = locale.decimalPoint();
    if (sep.isEmpty())
        return U'.';
    const uint code = sep.toUcs4().value(0, U'.');
    return code == 0 ? U'.' : static_cast<char32_t>(code);
}

void showDisplayScaleWarning(QWidget* parent)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("Перед выполнением работы установите в \"Параметрах экрана\" "
                                   "значение \"Масштаба\" 100%!!!"),
                    QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("startupWarning"));
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setEscapeButton(box.buttons().value(0)); // the close box answers like OK
    box.exec();
}

TForm1::TForm1() : TForm1(Options{}) {}

TForm1::TForm1(Options options, QWidget* parent)
    : QWidget(parent), options_(options), pointer_(new PointerTracker(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Потенкор"));
    setWindowIcon(programIcon());
    setFont(windowFont(12));
    setFixedSize(kClientWidthPx, kClientHeightPx);
    setMouseTracking(true);
    readDecimalSeparator();
    createControls();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - rect().center());
    }
    guarded(this, [this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::createControls()
{
    Label3 = readoutLabel(this, QStringLiteral("phi="), 376, "Label3");
    Label4 = readoutLabel(this, QStringLiteral("x="), 8, "Label4");
    Label5 = readoutLabel(this, QStringLiteral("y="), 188, "Label5");
    Label6 = place(new QLabel(QStringLiteral("Данные для протокола"), this), 1014, 11, 127, 15, "Label6");
    Label6->adjustSize();

    Chart1 = new TChart(calibration::chartMapping(calibration::defaults()), this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->move(0, 0);

    Button1 = place(new QPushButton(QStringLiteral("Электроды"), this), 1095, 618, 75, 25, "Button1");
    Memo1 = place(new QPlainTextEdit(this), 1014, 32, 227, 738, "Memo1");
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Edit1 = place(new QLineEdit(latin1(calibration::kDefaultMstartX), this), 1014, 678, 65, 23, "Edit1");
    Edit3 = place(new QLineEdit(latin1(calibration::kDefaultMstartY), this), 1095, 678, 65, 23, "Edit3");
    Edit5 = place(new QLineEdit(latin1(calibration::kDefaultNx), this), 1014, 649, 65, 23, "Edit5");
    Edit6 = place(new QLineEdit(latin1(calibration::kDefaultNy), this), 1095, 649, 65, 23, "Edit6");
    Button2 = place(new QPushButton(QStringLiteral("Коррект"), this), 1014, 618, 75, 25, "Button2");
    CheckBox1 = place(new QCheckBox(QStringLiteral("фикисированный сдвиг 0,5 см"), this), 8, 751, 211, 17, "CheckBox1");
    Button3 = place(new QPushButton(QStringLiteral("Удалить последний элемент"), this), 615, 714, 185, 25, "Button3");
    CheckBox2 = place(new QCheckBox(QStringLiteral("маркировка точек"), this), 238, 751, 187, 17, "CheckBox2");
    Button4 = place(new QPushButton(QStringLiteral("Копировать график в буфер"), this), 615, 745, 185, 25, "Button4");
    Button5 = place(new QPushButton(QStringLiteral("Сохранить данные в файл"), this), 815, 714, 185, 25, "Button5");
    Button6 = place(new QPushButton(QStringLiteral("О программе"), this), 815, 745, 185, 25, "Button6");
    CheckBox3 = place(new QCheckBox(QStringLiteral("Режим измерения"), this), 440, 751, 129, 17, "CheckBox3");
    CheckBox3->setChecked(true);
    Memo2 = place(new QPlainTextEdit(this), 1014, 512, 224, 89, "Memo2");

    // The service panel exists but is never shown.
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit3),
                       static_cast<QWidget*>(Edit5), static_cast<QWidget*>(Edit6),
                       static_cast<QWidget*>(Memo2)})
        w->setVisible(false);

    // Tab order follows the layout table.
    QWidget* order[] = {Chart1, Button1, Memo1, Edit1, Edit3, Edit5, Edit6, Button2, CheckBox1,
                        Button3, CheckBox2, Button4, Button5, Button6, CheckBox3, Memo2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    SaveTextFileDialog1 = new TSaveTextFileDialog(this);
    SaveTextFileDialog1->onCanClose = [this](bool& canClose) { SaveTextFileDialog1CanClose(canClose); };

    const auto handle = [this](auto handler) { return [this, handler] { guarded(this, [&] { (this->*handler)(); }); }; };
    connect(Chart1, &TChart::clicked, this, handle(&TForm1::Chart1Click));
    connect(Chart1, &TChart::mouseMoved, this, handle(&TForm1::Chart1MouseMove));
    connect(Button1, &QPushButton::clicked, this, handle(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, handle(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, handle(&TForm1::Button3Click));
    connect(CheckBox2, &QCheckBox::clicked, this, handle(&TForm1::CheckBox2Click));
    connect(Button4, &QPushButton::clicked, this, handle(&TForm1::Button4Click));
    connect(Button5, &QPushButton::clicked, this, handle(&TForm1::Button5Click));
    connect(Button6, &QPushButton::clicked, this, handle(&TForm1::Button6Click));
}

void TForm1::readDecimalSeparator()
{
    decimalSeparator_ = decimalSeparatorOf(locale());
}

void TForm1::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange)
        readDecimalSeparator();
    QWidget::changeEvent(event);
}

void TForm1::mouseMoveEvent(QMouseEvent* event)
{
    guarded(this, [this] { FormMouseMove(); });
    QWidget::mouseMoveEvent(event);
}

QPointF TForm1::calibrationWindowOrigin() const
{
    return pointer_->clientOrigin() - QPointF(calibration::kFrameLeftPx, calibration::kFrameTopPx);
}

QPointF TForm1::cursorPos() const
{
    return pointer_->cursorPos();
}

void TForm1::FormCreate()
{
    if (options_.showStartupWarning)
        showDisplayScaleWarning(this);
    Button2Click();
    Button1Click();
    count = 0;
}

void TForm1::Button1Click()
{
    const field::Outlines outlines = field::electrodeOutlines();
    for (int i = 0; i < field::kOutlinePoints; ++i) {
        Chart1->Series2()->AddXY(static_cast<double>(outlines.left[i].x), static_cast<double>(outlines.left[i].y));
        Chart1->Series3()->AddXY(static_cast<double>(outlines.right[i].x), static_cast<double>(outlines.right[i].y));
    }
}

void TForm1::Button2Click()
{
    calib = calibration::load(Edit1->text().toStdString(), Edit3->text().toStdString(),
                              Edit5->text().toStdString(), Edit6->text().toStdString(),
                              decimalSeparator_);
}

void TForm1::Chart1Click()
{
    if (!CheckBox3->isChecked())
        return;
    // The cursor is read at the moment of each conversion step, as the
    // calibration expects, not taken from the event.
    const QPointF origin = calibrationWindowOrigin();
    long double X1 = calibration::toX1(calib, static_cast<long double>(cursorPos().x() - origin.x()));
    long double Y1 = calibration::toY1(calib, static_cast<long double>(cursorPos().y() - origin.y()));
    if (CheckBox1->isChecked()) {
        X1 = calibration::snap(X1);
        Y1 = calibration::snap(Y1);
    }
    phi = field::potential(X1, Y1);
    appendProtocolLine(Memo1, qs(protocol::line(count, X1, Y1, phi, decimalSeparator_)));
    Chart1->Series1()->AddXY(static_cast<double>(X1), static_cast<double>(Y1));
    count = fp::addChecked(count, 1);
}

void TForm1::Chart1MouseMove()
{
    const QPointF origin = calibrationWindowOrigin();
    const long double X1 = calibration::toX1(calib, static_cast<long double>(cursorPos().x() - origin.x()));
    const long double Y1 = calibration::toY1(calib, static_cast<long double>(cursorPos().y() - origin.y()));
    const long double volts = field::potential(X1, Y1);
    Label3->setText(QStringLiteral("phi =") + qs(fixed3(volts, decimalSeparator_)) + QStringLiteral(" В"));
    Label4->setText(QStringLiteral("x =") + qs(fixed3(X1, decimalSeparator_)) + QStringLiteral(" см"));
    Label5->setText(QStringLiteral("y =") + qs(fixed3(Y1, decimalSeparator_)) + QStringLiteral(" см"));
    Label3->adjustSize();
    Label4->adjustSize();
    Label5->adjustSize();
}

void TForm1::Button3Click()
{
    Series* points = Chart1->Series1();
    if (points->LastValueIndex() >= 0) {
        points->Delete(points->LastValueIndex());
        removeLastProtocolLine(Memo1);
        count = fp::subChecked(count, 1);
    }
    if (count < 0)
        count = 0;
}

void TForm1::CheckBox2Click()
{
    Chart1->setMarksVisible(CheckBox2->isChecked());
}

void TForm1::FormMouseMove()
{
    const QPoint cursor = QCursor::pos();
    Memo2->setPlainText(QStringLiteral("mousex=%1\nmousey=%2\n%3\n%4")
                            .arg(cursor.x())
                            .arg(cursor.y())
                            .arg(Chart1->height())
                            .arg(Chart1->width()));
}

void TForm1::Button4Click()
{
    exporting::copyImageToClipboard(Chart1->renderImage(Chart1->devicePixelRatioF()));
}

void TForm1::Button5Click()
{
    SaveTextFileDialog1->Execute();
}

void TForm1::SaveTextFileDialog1CanClose(bool& /*canClose*/)
{
    // An error is reported while the dialog is still up; the dialog then closes.
    guarded(SaveTextFileDialog1->window(), [this] {
        exporting::saveProtocol(SaveTextFileDialog1->FileName, protocolText(Memo1),
                                SaveTextFileDialog1->encoding());
    });
}

void TForm1::Button6Click()
{
    if (Form2)
        Form2->showFromMainWindow();
}

} // namespace potencor::ui
