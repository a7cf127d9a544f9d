#include "ui/mainwindow.h"

#include "ui/placement.h"

#include "core/field.h"
#include "core/fixed3.h"
#include "export/clipboard_image.h"
#include "export/protocol_file.h"
#include "ui/Dialog/Dialog.h"
#include "ui/chart.h"
#include "ui/error_report.h"
#include "ui/fonts.h"
#include "ui/open_dialog.h"
#include "ui/placement.h"
#include "ui/pointer.h"
#include "work/workbench.h"
#include "ui/save_dialog.h"

#include "icon_pixels.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QEventLoop>
#include <QTimer>
#include <QUrl>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTextDocument>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

#include <atomic>
#include <cmath>
#include <exception>
#include <thread>
#include <utility>

namespace potencor::ui {
namespace {

// From this size on a protocol is read on a thread of its own, under a
// progress box (a protocol of about 50,000 lines).
constexpr qint64 kOpenInBackgroundBytes = 2 << 20;
// From this length on a restored protocol goes in under a progress box.
constexpr qsizetype kRestoreUnderProgressChars = 1 << 20;

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

// A box captioned like the error report, for questions about the student's work.
int ask(QWidget* parent, QMessageBox::Icon icon, const QString& text,
        std::initializer_list<std::pair<QString, QMessageBox::ButtonRole>> buttons, int escape)
{
    QMessageBox box(icon, programTitle(QCoreApplication::applicationFilePath()), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("question"));
    // Without an escape answer a close box would do nothing.
    frameMessageBox(box, escape >= 0);
    QList<QAbstractButton*> made;
    for (const auto& [label, role] : buttons)
        made.push_back(box.addButton(label, role));
    box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
    if (escape >= 0)
        box.setEscapeButton(made.value(escape));
    box.exec();
    return static_cast<int>(made.indexOf(box.clickedButton()));
}

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
    frameMessageBox(box);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setEscapeButton(box.buttons().value(0)); // the close box answers like OK
    box.exec();
}

TForm1::TForm1() : TForm1(Options{}) {}

TForm1::TForm1(Options options, QWidget* parent)
    : QWidget(parent)
    , options_(options)
    , pointer_(new PointerTracker(this))
    , work_(std::make_unique<work::Workbench>(work::Workbench::Options{options.recovery, options.stateDirectory}))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Потенкор"));
    setWindowIcon(programIcon());
    setFont(windowFont(12));
    setFixedSize(kClientWidthPx, kClientHeightPx);
    setMouseTracking(true);
    readDecimalSeparator();
    createControls();

    // The frame is not known before the window is shown: centre the client
    // area for now, the frame once the window manager has framed it.
    centreOnWorkArea();
    guarded(this, [this] { FormCreate(); });
}

// Reached only when the program ends normally: a crash leaves the journal.
TForm1::~TForm1()
{
    work_->finish();
    // The box shows the work's document: it goes before the document does,
    // and without this window watching its parts while they are torn down.
    Memo1->viewport()->removeEventFilter(this);
    delete std::exchange(Memo1, nullptr);
}

void TForm1::createControls()
{
    Label3 = readoutLabel(this, QStringLiteral("phi="), 376, "Label3");
    Label4 = readoutLabel(this, QStringLiteral("x="), 8, "Label4");
    Label5 = readoutLabel(this, QStringLiteral("y="), 188, "Label5");
    Label6 = place(new QLabel(QStringLiteral("Данные для протокола"), this), 1014, 11, 127, 15, "Label6");
    Label6->adjustSize();

    Chart1 = new TChart(calibration::chartMapping(work_->calibration()), this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->move(0, 0);

    Button1 = place(new QPushButton(QStringLiteral("Электроды"), this), 1095, 618, 75, 25, "Button1");
    Memo1 = place(new QPlainTextEdit(this), 1014, 32, 227, 738, "Memo1");
    QTextDocument* protocol = work_->protocol();
    protocol->setDocumentLayout(new QPlainTextDocumentLayout(protocol));
    protocol->setDefaultFont(Memo1->document()->defaultFont());
    Memo1->setDocument(protocol);
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

    // Over the chart's top while the journal cannot write; clicks and the
    // pointer go through it to the chart.
    JournalNotice = place(new QLabel(QStringLiteral("Не удаётся записать файл восстановления: если программа закроется "
                                                    "аварийно, несохранённая работа пропадёт. Сохраните протокол в файл."),
                                     this),
                          40, 4, 940, 0, "JournalNotice");
    JournalNotice->setWordWrap(true);
    JournalNotice->setMargin(4);
    JournalNotice->setStyleSheet(QStringLiteral("QLabel { background: #fff3c4; color: #8b0000; border: 1px solid #8b0000; }"));
    JournalNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
    JournalNotice->resize(JournalNotice->width(), JournalNotice->heightForWidth(JournalNotice->width()));
    JournalNotice->setVisible(false);

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

    // Tab moves on to the next control, as everywhere in the window; a tab
    // character in the protocol would only be junk in the file.
    Memo1->setTabChangesFocus(true);
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QWidget::customContextMenuRequested, this, &TForm1::showProtocolMenu);
    // A file dropped on the box opens it rather than pasting its name.
    Memo1->viewport()->installEventFilter(this);
    setAcceptDrops(true);

    SaveTextFileDialog1 = new TSaveTextFileDialog(this);
    SaveTextFileDialog1->onCanClose = [this](bool& canClose) { SaveTextFileDialog1CanClose(canClose); };
    OpenTextFileDialog1 = new TOpenTextFileDialog(this);
    OpenAction = new QAction(QStringLiteral("Открыть протокол…"), this);
    OpenAction->setObjectName(QStringLiteral("OpenAction"));
    OpenAction->setShortcut(QKeySequence::Open);
    OpenAction->setShortcutContext(Qt::WindowShortcut);
    addAction(OpenAction);
    connect(OpenAction, &QAction::triggered, this, [this] { guarded(this, [this] { openProtocol(); }); });

#ifndef QT_NO_SESSIONMANAGER
    // A logout that asks first: the same question as the close box.
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            work_->flushJournal();
            if (!work_->hasUnsavedWork() || !manager.allowsInteraction())
                return;
            const bool mayEnd = confirmDiscard(true);
            manager.release();
            if (!mayEnd)
                manager.cancel();
        });
    }
#endif

    const auto handle = [this](auto handler) { return [this, handler] { guarded(this, [&] { (this->*handler)(); }); }; };
    connect(Chart1, &TChart::clicked, this, handle(&TForm1::Chart1Click));
    connect(Chart1, &TChart::mouseMoved, this, handle(&TForm1::Chart1MouseMove));
    connect(Chart1, &TChart::probeMoved, this, handle(&TForm1::Chart1ProbeMove));
    connect(Chart1, &TChart::probeClicked, this, handle(&TForm1::Chart1ProbeClick));
    connect(Chart1, &TChart::undoRequested, this, handle(&TForm1::Button3Click));
    Chart1->setGridStep([this](QPointF probe, Qt::Orientation axis, int direction) {
        return gridLineNextTo(probe, axis, direction);
    });
    nameForAssistiveTechnology();
    connect(Button1, &QPushButton::clicked, this, handle(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, handle(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, handle(&TForm1::Button3Click));
    connect(CheckBox2, &QCheckBox::clicked, this, handle(&TForm1::CheckBox2Click));
    connect(Button4, &QPushButton::clicked, this, handle(&TForm1::Button4Click));
    connect(Button5, &QPushButton::clicked, this, handle(&TForm1::Button5Click));
    connect(Button6, &QPushButton::clicked, this, handle(&TForm1::Button6Click));
    connectWork();
}

void TForm1::nameForAssistiveTechnology()
{
    // Buttons, check boxes and labels are read by their texts; what the text
    // leaves out goes into the description.
    Memo1->setAccessibleName(QStringLiteral("Протокол измерений"));
    Memo1->setAccessibleDescription(QStringLiteral("Строка на каждое измерение: номер, координаты x и y в сантиметрах "
                                                   "и потенциал в вольтах"));
    Label3->setAccessibleDescription(QStringLiteral("Потенциал в точке под указателем мыши или зондом клавиатуры"));
    Label4->setAccessibleDescription(QStringLiteral("Координата x точки под указателем мыши или зондом клавиатуры"));
    Label5->setAccessibleDescription(QStringLiteral("Координата y точки под указателем мыши или зондом клавиатуры"));
    CheckBox1->setAccessibleDescription(QStringLiteral("Измеренные точки привязываются к сетке с шагом 0,5 см"));
    CheckBox2->setAccessibleDescription(QStringLiteral("Номер каждой точки на графике"));
    CheckBox3->setAccessibleDescription(
        QStringLiteral("Включён: щелчок по графику, Enter или пробел на графике записывают измерение в протокол"));
    Button3->setAccessibleDescription(
        QStringLiteral("Убирает последнюю точку и последнюю строку протокола; на графике то же делает Ctrl+Z"));
    Button4->setAccessibleDescription(QStringLiteral("Изображение графика для отчёта"));
    Button5->setAccessibleDescription(QStringLiteral("Записывает протокол в текстовый файл"));
    Button6->setAccessibleDescription(QStringLiteral("Окно с описанием лабораторной работы"));
    // The service panel, never shown.
    Edit1->setAccessibleName(QStringLiteral("Калибровка: сдвиг по x, пикселей"));
    Edit3->setAccessibleName(QStringLiteral("Калибровка: сдвиг по y, пикселей"));
    Edit5->setAccessibleName(QStringLiteral("Калибровка: пикселей на 42,85 см по x"));
    Edit6->setAccessibleName(QStringLiteral("Калибровка: пикселей на 30 см по y"));
    Memo2->setAccessibleName(QStringLiteral("Положение указателя"));
}

void TForm1::connectWork()
{
    connect(work_.get(), &work::Workbench::pointAdded, this, [this](const MeasuredPoint& p) {
        Chart1->Series1()->AddXY(static_cast<double>(p.X1_cm), static_cast<double>(p.Y1_cm), p.number);
        Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
    });
    connect(work_.get(), &work::Workbench::pointRemoved, this, [this] {
        Series* points = Chart1->Series1();
        const int last = points->LastValueIndex();
        const int number = points->label(last);
        points->Delete(last);
        Chart1->setAccessibleValue(QStringLiteral("Удалена точка %1").arg(number));
    });
    connect(work_.get(), &work::Workbench::labelsVisibleChanged, this, [this](bool visible) {
        CheckBox2->setChecked(visible);
        Chart1->setMarksVisible(visible);
    });
    connect(work_.get(), &work::Workbench::sessionReplaced, this, &TForm1::showSession);
    connect(work_.get(), &work::Workbench::journalHealthChanged, this, [this](bool healthy) {
        JournalNotice->raise();
        JournalNotice->setVisible(!healthy);
    });
    // Rebuilding the document moves every cursor to its start: the box's
    // caret, selection and scroll position are put back.
    struct Caret {
        int anchor = 0;
        int position = 0;
        int scroll = 0;
    };
    auto caret = std::make_shared<Caret>();
    connect(work_.get(), &work::Workbench::protocolAboutToCompact, this, [this, caret] {
        const QTextCursor c = Memo1->textCursor();
        *caret = {c.anchor(), c.position(), Memo1->verticalScrollBar()->value()};
    });
    connect(work_.get(), &work::Workbench::protocolCompacted, this, [this, caret] {
        QTextCursor restored(Memo1->document());
        restored.setPosition(caret->anchor);
        restored.setPosition(caret->position, QTextCursor::KeepAnchor);
        Memo1->setTextCursor(restored);
        Memo1->verticalScrollBar()->setValue(caret->scroll);
    });
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

void TForm1::centreOnWorkArea()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(centredOnWorkArea(screen->availableGeometry(), frameGeometry().size()));
}

void TForm1::moveEvent(QMoveEvent* event)
{
    // The window manager's first framing tells the frame's size; the window
    // is centred again with it, once, before the student can have moved it.
    if (!centredWithFrame_ && isVisible() && frameGeometry().size() != size()) {
        centredWithFrame_ = true;
        centreOnWorkArea();
    }
    QWidget::moveEvent(event);
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
    // The protocol box lays out anew every block of its document, keeping a
    // layout object for each (about 300 bytes a line), whenever its width
    // changes, and so when it first gets its size on show: it gets it now,
    // while the document is still empty, before a restore fills it. Grabbing
    // a hidden widget lays out its window first.
    Memo1->viewport()->grab(QRect(0, 0, 1, 1));
    offerRecovery();
}

void TForm1::Button1Click()
{
    addElectrodeOutlines(Chart1->scene());
}

void TForm1::Button2Click()
{
    work_->setCalibration(calibration::load(Edit1->text().toStdString(), Edit3->text().toStdString(),
                                            Edit5->text().toStdString(), Edit6->text().toStdString(),
                                            decimalSeparator_));
}

QPointF TForm1::cursorOffset() const
{
    return cursorPos() - calibrationWindowOrigin();
}

QPointF TForm1::chartOffset() const
{
    return QPointF(Chart1->mapTo(this, QPoint(0, 0))) + QPointF(calibration::kFrameLeftPx, calibration::kFrameTopPx);
}

QPointF TForm1::probeOffset() const
{
    return chartOffset() + Chart1->probe();
}

void TForm1::Chart1Click()
{
    measureAt(cursorOffset());
}

void TForm1::Chart1ProbeClick()
{
    measureAt(probeOffset());
}

void TForm1::measureAt(QPointF offset)
{
    if (!CheckBox3->isChecked()) {
        Chart1->setAccessibleValue(QStringLiteral("Режим измерения выключен, измерение не записано"));
        return;
    }
    const Session::Change change = work_->measure(offset.x(), offset.y(), CheckBox1->isChecked(), decimalSeparator_);
    Chart1->setAccessibleValue(QStringLiteral("Записано: ") + qs(change.line), static_cast<double>(change.phi_V));
}

void TForm1::Chart1MouseMove()
{
    showReadingAt(cursorOffset());
}

void TForm1::Chart1ProbeMove()
{
    showReadingAt(probeOffset());
}

void TForm1::showReadingAt(QPointF offset)
{
    const calibration::PlaneCm at = work_->planeAt(offset.x(), offset.y());
    const long double volts = field::potential(at.X1, at.Y1);
    // Each value with its unit, as the labels show it and a screen reader reads it.
    const QString x = qs(fixed3(at.X1, decimalSeparator_)) + QStringLiteral(" см");
    const QString y = qs(fixed3(at.Y1, decimalSeparator_)) + QStringLiteral(" см");
    const QString phi = qs(fixed3(volts, decimalSeparator_)) + QStringLiteral(" В");
    Label3->setText(QStringLiteral("phi =") + phi);
    Label4->setText(QStringLiteral("x =") + x);
    Label5->setText(QStringLiteral("y =") + y);
    Label3->adjustSize();
    Label4->adjustSize();
    Label5->adjustSize();
    Chart1->setAccessibleValue(QStringLiteral("x = %1, y = %2, phi = %3").arg(x, y, phi), static_cast<double>(volts));
}

double TForm1::gridLineNextTo(QPointF probe, Qt::Orientation axis, int direction) const
{
    // The grid line the probe's pixel measures with snapping on, then the
    // lines beyond it in turn, until one's pixel lies beyond the probe.
    const calibration::Calibration& c = work_->calibration();
    const QPointF origin = chartOffset();
    const QPointF offset = origin + probe;
    const calibration::PlaneCm at = calibration::convert(c, offset.x(), offset.y(), true);
    const bool alongX = axis == Qt::Horizontal;
    // y grows upwards, rows downwards.
    const long double stepCm = (alongX ? direction : -direction) * calibration::kSnapStepCm;
    const double from = alongX ? probe.x() : probe.y();
    const qreal dpr = Chart1->devicePixelRatioF();
    long double line = alongX ? at.X1 : at.Y1;
    for (int i = 0; i < 4; ++i, line += stepCm) {
        const long double px = alongX ? calibration::toDxPx(c, line) - origin.x() : calibration::toDyPx(c, line) - origin.y();
        const double pixel = std::round(static_cast<double>(px) * dpr) / dpr; // the screen pixel it falls on
        if ((pixel - from) * direction > 0)
            return pixel;
    }
    return from;
}

void TForm1::Button3Click()
{
    work_->undo();
}

void TForm1::CheckBox2Click()
{
    work_->setLabelsVisible(CheckBox2->isChecked());
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

void TForm1::SaveTextFileDialog1CanClose(bool& canClose)
{
    const QString text = work_->protocolText();
    if (!encodingHoldsOrLossAccepted(text)) {
        canClose = false; // back in the dialog, to pick another encoding
        return;
    }
    // An error is reported while the dialog is still up; the dialog then closes.
    lastSaveSucceeded_ = guarded(SaveTextFileDialog1->window(), [&] {
        work_->save(SaveTextFileDialog1->FileName, text, SaveTextFileDialog1->encoding());
    });
}

namespace {

// "5 символов": the noun's form for the number.
QString countOf(qsizetype n, const char* one, const char* few, const char* many)
{
    const qsizetype tens = n % 100, units = n % 10;
    const char* form = tens >= 11 && tens <= 14 ? many : units == 1 ? one : units >= 2 && units <= 4 ? few : many;
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(form));
}

// A character as the student can recognise it: itself, or its code when it
// shows nothing (spaces, separators, controls).
QString shownCharacter(char32_t c)
{
    if (QChar::isPrint(c) && !QChar::isSpace(c) && !QChar::isSurrogate(c))
        return QStringLiteral("«%1»").arg(QString::fromUcs4(&c, 1));
    return QStringLiteral("U+") + QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

} // namespace

bool TForm1::encodingHoldsOrLossAccepted(const QString& text)
{
    const text::Encoding encoding = SaveTextFileDialog1->encoding();
    const exporting::LostCharacters lost = exporting::lostCharacters(text, encoding);
    if (lost.count == 0)
        return true;
    constexpr qsizetype kShown = 10;
    QStringList shown;
    for (qsizetype i = 0; i < std::min(kShown, lost.distinct.size()); ++i)
        shown << shownCharacter(lost.distinct[i]);
    if (lost.distinct.size() > kShown)
        shown << QStringLiteral("…");
    const QString name = TSaveTextFileDialog::encodingNames().value(SaveTextFileDialog1->EncodingIndex);
    const QString question =
        QStringLiteral("В кодировке %1 нельзя записать %2 протокола (разных: %3): %4. "
                       "В файле вместо них будут знаки «?».\n\n"
                       "Сохранить всё равно или вернуться и выбрать другую кодировку? "
                       "Все символы сохраняет UTF-8.")
            .arg(name, countOf(lost.count, "символ", "символа", "символов"), QString::number(lost.distinct.size()),
                 shown.join(QStringLiteral(", ")));
    const int answer = ask(SaveTextFileDialog1->window(), QMessageBox::Warning, question,
                           {{QStringLiteral("Выбрать другую кодировку"), QMessageBox::RejectRole},
                            {QStringLiteral("Сохранить всё равно"), QMessageBox::AcceptRole}},
                           0);
    if (answer == 1)
        return true;
    if (QComboBox* list = SaveTextFileDialog1->encodingList()) {
        list->setCurrentIndex(static_cast<int>(text::Encoding::Utf8));
        list->setFocus();
    }
    return false;
}

void TForm1::Button6Click()
{
    if (Form2)
        Form2->showFromMainWindow();
}

// ---- Keeping the student's work ----

bool TForm1::saveThroughDialog()
{
    lastSaveSucceeded_ = false;
    return SaveTextFileDialog1->Execute() && lastSaveSucceeded_;
}

bool TForm1::confirmDiscard(bool closing)
{
    if (!work_->hasUnsavedWork())
        return true;
    // A second request while the question is up (another signal) waits for its answer.
    if (asking_)
        return false;
    const QScopedValueRollback busy(asking_, true);
    const QString text = closing
        ? QStringLiteral("Протокол не сохранён в файл. Сохранить его перед выходом из программы?")
        : QStringLiteral("Протокол не сохранён в файл. Сохранить его перед тем, как открыть другой?");
    switch (ask(this, QMessageBox::Question, text,
                {{QStringLiteral("Сохранить"), QMessageBox::AcceptRole},
                 {QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole},
                 {QStringLiteral("Отмена"), QMessageBox::RejectRole}},
                2)) {
    case 0:
        return saveThroughDialog();
    case 1:
        return true;
    default:
        return false;
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!confirmDiscard(true)) {
        event->ignore();
        return;
    }
    work_->finish();
    QWidget::closeEvent(event);
}

void TForm1::terminationRequested()
{
    // Not in the middle of opening a protocol: once it is in.
    if (opening_) {
        terminationPending_ = true;
        return;
    }
    work_->flushJournal();
    close();
}

void TForm1::showSession()
{
    // In one step: a million points one by one cost a million changes.
    const std::vector<MeasuredPoint>& measured = work_->session().points();
    QVector<QPointF> at;
    QVector<int> labels;
    at.reserve(static_cast<qsizetype>(measured.size()));
    labels.reserve(static_cast<qsizetype>(measured.size()));
    for (const MeasuredPoint& p : measured) {
        at.append(QPointF(static_cast<double>(p.X1_cm), static_cast<double>(p.Y1_cm)));
        labels.append(p.number);
    }
    Chart1->Series1()->Assign(std::move(at), std::move(labels));
    CheckBox2->setChecked(work_->session().labelsVisible());
    Chart1->setMarksVisible(work_->session().labelsVisible());
    Memo1->moveCursor(QTextCursor::End);
    Memo1->verticalScrollBar()->setValue(Memo1->verticalScrollBar()->maximum());
}

void TForm1::offerRecovery()
{
    const auto shown = [](const QString& path) { return QDir::toNativeSeparators(path); };
    // A long protocol takes seconds to go back in: under a progress box, the
    // event loop turning between its parts (and the program ending, if asked
    // to meanwhile, once it is in).
    std::unique_ptr<QProgressDialog> restoring;
    const auto progress = [&](qsizetype done, qsizetype total) {
        if (total < kRestoreUnderProgressChars)
            return;
        opening_ = true;
        if (!restoring) {
            restoring = std::make_unique<QProgressDialog>(QStringLiteral("Восстановление протокола…"), QString(), 0,
                                                          1000, this);
            restoring->setObjectName(QStringLiteral("restoreProgress"));
            restoring->setWindowTitle(programTitle(QCoreApplication::applicationFilePath()));
            restoring->setWindowModality(Qt::ApplicationModal);
            restoring->setMinimumDuration(0);
            restoring->setAutoReset(false);
            restoring->setAutoClose(false);
            restoring->show();
        }
        restoring->setValue(static_cast<int>(done * 1000 / total));
        QCoreApplication::processEvents();
    };
    work_->recover(
        [&](const work::Workbench::RecoveryOffer& offer) {
            const QString when = offer.modified.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
            QString damage;
            if (offer.damaged)
                damage = QStringLiteral("Часть файла восстановления повреждена, и прочитать её нельзя: восстановится только "
                                        "работа, сделанная до повреждения. Файл сохранён как \"%1\".\n\n")
                             .arg(shown(offer.keptAs));
            return ask(this, offer.damaged ? QMessageBox::Warning : QMessageBox::Question,
                       QStringLiteral("Программа была закрыта аварийно, и работа не была сохранена (%1, измерений: %2).\n\n"
                                      "%3Восстановить протокол и измеренные точки?")
                           .arg(when)
                           .arg(offer.points)
                           .arg(damage),
                       {{QStringLiteral("Восстановить"), QMessageBox::AcceptRole},
                        {QStringLiteral("Не восстанавливать"), QMessageBox::DestructiveRole}},
                       -1) // a choice must be made: closing the box would lose the work
                == 0;
        },
        [&](const work::Workbench::Unreadable& journal) {
            using Why = work::Workbench::Unreadable::Why;
            switch (journal.why) {
            case Why::NotAJournal:
                report(this, QStringLiteral("Файл восстановления \"%1\" повреждён или записан не этой программой, "
                                            "восстановить из него работу нельзя. Он сохранён как \"%2\"")
                                 .arg(shown(journal.path), shown(journal.keptAs.isEmpty() ? journal.path : journal.keptAs)));
                break;
            case Why::CannotRead:
                report(this, QStringLiteral("Файл восстановления \"%1\" не удаётся прочитать (%2), восстановить из него "
                                            "работу сейчас нельзя. Файл оставлен как есть")
                                 .arg(shown(journal.path), journal.reason));
                break;
            case Why::LockInTheWay:
                report(this, QStringLiteral("Файл восстановления \"%1\" не предложен: на месте его файла блокировки "
                                            "\"%2\" находится папка. Файл оставлен как есть")
                                 .arg(shown(journal.path), shown(journal.path + QStringLiteral(".lock"))));
                break;
            }
        },
        progress);
    opening_ = false;
    if (terminationPending_) {
        terminationPending_ = false;
        QTimer::singleShot(0, this, &TForm1::terminationRequested);
    }
}

bool TForm1::openProtocolFile(const QString& path, std::optional<text::Encoding> forced)
{
    text::Encoding encoding{};
    bool replaced = false;
    guarded(this, [&] {
        // A small file is read at once, too fast to show anything for.
        if (QFileInfo(path).size() < kOpenInBackgroundBytes) {
            encoding = work_->open(path, forced);
            replaced = true;
            return;
        }
        const QScopedValueRollback busy(opening_, true);
        QProgressDialog progress(QStringLiteral("Чтение протокола…"), QStringLiteral("Отмена"), 0, 0, this);
        progress.setObjectName(QStringLiteral("openProgress"));
        progress.setWindowTitle(programTitle(QCoreApplication::applicationFilePath()));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        progress.setAutoReset(false);
        progress.setAutoClose(false);
        std::atomic<bool> cancelled = false;
        connect(&progress, &QProgressDialog::canceled, &progress, [&] { cancelled = true; });
        progress.show();

        std::optional<work::Workbench::Opening> opening;
        std::exception_ptr failure;
        QEventLoop loop;
        std::thread reader([&] {
            try {
                opening = work::Workbench::readForOpening(path, forced, [&] { return cancelled.load(); });
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        reader.join();
        if (failure)
            std::rethrow_exception(failure);
        if (!opening || cancelled)
            return; // nothing changed

        // The old work goes now: no going back from here.
        progress.setLabelText(QStringLiteral("Открытие протокола…"));
        progress.setCancelButton(nullptr);
        progress.setRange(0, 1000);
        encoding = work_->open(std::move(*opening), [&](qsizetype done, qsizetype total) {
            progress.setValue(static_cast<int>(done * 1000 / std::max<qsizetype>(total, 1)));
            // A modal box lets only itself take input: the window repaints.
            QCoreApplication::processEvents();
        });
        replaced = true;
    });
    if (terminationPending_) {
        terminationPending_ = false;
        QTimer::singleShot(0, this, &TForm1::terminationRequested);
    }
    if (!replaced)
        return false;
    // Saving again goes to the file, as it was written.
    SaveTextFileDialog1->FileName = QFileInfo(path).absoluteFilePath();
    SaveTextFileDialog1->EncodingIndex = static_cast<int>(encoding);
    return true;
}

void TForm1::openProtocol()
{
    if (!confirmDiscard(false))
        return;
    if (OpenTextFileDialog1->FileName.isEmpty() && SaveTextFileDialog1->FileName.contains(QLatin1Char('/')))
        OpenTextFileDialog1->FileName = SaveTextFileDialog1->FileName;
    if (OpenTextFileDialog1->Execute())
        openProtocolFile(OpenTextFileDialog1->FileName, OpenTextFileDialog1->encoding());
}

void TForm1::showProtocolMenu(const QPoint& pos)
{
    QMenu* menu = Memo1->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("protocolMenu"));
    QAction* first = menu->actions().value(0);
    menu->insertAction(first, OpenAction);
    menu->insertSeparator(first);
    menu->exec(Memo1->viewport()->mapToGlobal(pos));
    delete menu;
}

QString TForm1::droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return {};
    return data->urls().first().toLocalFile();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drop: its source waits for the answer meanwhile.
    QTimer::singleShot(0, this, [this, path] {
        guarded(this, [&] {
            if (confirmDiscard(false))
                openProtocolFile(path);
        });
    });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (Memo1 && watched == Memo1->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!droppedFile(drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!droppedFile(drop->mimeData()).isEmpty()) {
                dropEvent(drop);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace potencor::ui
