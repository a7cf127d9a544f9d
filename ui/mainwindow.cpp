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
#include "ui/protocol_memo.h"
#include "work/recovery.h"
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
#include <QTimer>
#include <QUrl>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

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

// A box captioned like the error report, for questions about the student's work.
int ask(QWidget* parent, QMessageBox::Icon icon, const QString& text,
        std::initializer_list<std::pair<QString, QMessageBox::ButtonRole>> buttons, int escape)
{
    QMessageBox box(icon, programTitle(QCoreApplication::applicationFilePath()), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("question"));
    QList<QAbstractButton*> made;
    for (const auto& [label, role] : buttons)
        made.push_back(box.addButton(label, role));
    box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));
    if (escape >= 0)
        box.setEscapeButton(made.value(escape));
    box.exec();
    return static_cast<int>(made.indexOf(box.clickedButton()));
}

// The text a file's lines make in the protocol box: every line end a line break.
QString boxText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

// The window as a session's view: the protocol box and the chart's points,
// each change also going to the journal.
class TForm1::View : public SessionView {
public:
    explicit View(TForm1& form) : form_(form) {}
    void appendLine(std::string_view line) override
    {
        appendProtocolLine(form_.Memo1, QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    }
    void removeLastLine() override { removeLastProtocolLine(form_.Memo1); }
    void appendPoint(const MeasuredPoint& p) override
    {
        form_.Chart1->Series1()->AddXY(static_cast<double>(p.X1_cm), static_cast<double>(p.Y1_cm), p.number);
        form_.record(journal::pointAppended(p));
    }
    void removeLastPoint() override
    {
        Series* points = form_.Chart1->Series1();
        points->Delete(points->LastValueIndex());
        form_.record(journal::pointRemoved());
    }

private:
    TForm1& form_;
};

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
    : QWidget(parent), options_(options), pointer_(new PointerTracker(this)), view_(std::make_unique<View>(*this))
{
    if (options_.stateDirectory.isEmpty())
        options_.stateDirectory = work::stateDirectory();
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
TForm1::~TForm1() { finishJournal(); }

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
            if (journal_)
                journal_->flushAndWait();
            if (!hasUnsavedWork() || !manager.allowsInteraction())
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
    session_ = Session{};
    if (options_.recovery) {
        offerRecovery();
        startJournal();
    }
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

calibration::PlaneCm TForm1::cursorInPlane() const
{
    // The cursor is read at the moment of each conversion step, as the
    // calibration expects, not taken from the event.
    const QPointF origin = calibrationWindowOrigin();
    const long double X1 = calibration::toX1(calib, static_cast<long double>(cursorPos().x() - origin.x()));
    const long double Y1 = calibration::toY1(calib, static_cast<long double>(cursorPos().y() - origin.y()));
    return {X1, Y1};
}

void TForm1::Chart1Click()
{
    if (!CheckBox3->isChecked())
        return;
    calibration::PlaneCm at = cursorInPlane();
    if (CheckBox1->isChecked()) {
        at.X1 = calibration::snap(at.X1);
        at.Y1 = calibration::snap(at.Y1);
    }
    phi = session_.measure(*view_, at.X1, at.Y1, decimalSeparator_).phi_V;
    record(journal::count(session_.count()));
}

void TForm1::Chart1MouseMove()
{
    const calibration::PlaneCm at = cursorInPlane();
    const long double volts = field::potential(at.X1, at.Y1);
    Label3->setText(QStringLiteral("phi =") + qs(fixed3(volts, decimalSeparator_)) + QStringLiteral(" В"));
    Label4->setText(QStringLiteral("x =") + qs(fixed3(at.X1, decimalSeparator_)) + QStringLiteral(" см"));
    Label5->setText(QStringLiteral("y =") + qs(fixed3(at.Y1, decimalSeparator_)) + QStringLiteral(" см"));
    Label3->adjustSize();
    Label4->adjustSize();
    Label5->adjustSize();
}

void TForm1::Button3Click()
{
    if (session_.undo(*view_))
        record(journal::count(session_.count()));
}

void TForm1::CheckBox2Click()
{
    session_.setLabelsVisible(CheckBox2->isChecked());
    Chart1->setMarksVisible(session_.labelsVisible());
    record(journal::labels(session_.labelsVisible()));
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
    const QString text = protocolText(Memo1);
    if (!encodingHoldsOrLossAccepted(text)) {
        canClose = false; // back in the dialog, to pick another encoding
        return;
    }
    // An error is reported while the dialog is still up; the dialog then closes.
    lastSaveSucceeded_ = guarded(SaveTextFileDialog1->window(), [&] {
        exporting::saveProtocol(SaveTextFileDialog1->FileName, text, SaveTextFileDialog1->encoding());
    });
    if (lastSaveSucceeded_)
        savedText_ = text;
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

bool TForm1::hasUnsavedWork() const
{
    const QString text = protocolText(Memo1);
    return savedText_ ? text != *savedText_ : !text.isEmpty();
}

bool TForm1::saveThroughDialog()
{
    lastSaveSucceeded_ = false;
    return SaveTextFileDialog1->Execute() && lastSaveSucceeded_;
}

bool TForm1::confirmDiscard(bool closing)
{
    if (!hasUnsavedWork())
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
    finishJournal();
    QWidget::closeEvent(event);
}

void TForm1::terminationRequested()
{
    if (journal_)
        journal_->flushAndWait();
    close();
}

journal::State TForm1::journalState() const
{
    return {RecoveryJournal::journalText(Memo1->document()), session_};
}

void TForm1::record(std::string journalRecord)
{
    if (journal_)
        journal_->record(std::move(journalRecord));
}

void TForm1::showSession(const Session& session, const QString& protocol)
{
    replaceProtocolText(Memo1, protocol);
    Series* points = Chart1->Series1();
    while (points->LastValueIndex() >= 0)
        points->Delete(points->LastValueIndex());
    for (const MeasuredPoint& p : session.points())
        points->AddXY(static_cast<double>(p.X1_cm), static_cast<double>(p.Y1_cm), p.number);
    session_ = session;
    CheckBox2->setChecked(session_.labelsVisible());
    Chart1->setMarksVisible(session_.labelsVisible());
}

void TForm1::offerRecovery()
{
    for (RecoveryJournal::LeftBehind& found : RecoveryJournal::leftBehind(options_.stateDirectory)) {
        QFile file(found.path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const journal::ReadResult read =
            journal::read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        if (read.status != journal::ReadResult::Status::Ok) {
            const QString aside = RecoveryJournal::keepAside(found);
            report(this, QStringLiteral("Файл восстановления \"%1\" повреждён или записан не этой программой, "
                                        "восстановить из него работу нельзя. Он сохранён как \"%2\"")
                             .arg(QDir::toNativeSeparators(found.path),
                                  QDir::toNativeSeparators(aside.isEmpty() ? found.path : aside)));
            continue;
        }
        if (read.state.empty()) {
            RecoveryJournal::discard(found);
            continue;
        }
        const QString when = found.modified.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        const int answer = ask(
            this, QMessageBox::Question,
            QStringLiteral("Программа была закрыта аварийно, и работа не была сохранена (%1, измерений: %2).\n\n"
                           "Восстановить протокол и измеренные точки?")
                .arg(when)
                .arg(read.state.session.points().size()),
            {{QStringLiteral("Восстановить"), QMessageBox::AcceptRole},
             {QStringLiteral("Не восстанавливать"), QMessageBox::DestructiveRole}},
            -1); // a choice must be made: closing the box would lose the work
        if (answer != 0) {
            RecoveryJournal::discard(found);
            continue;
        }
        showSession(read.state.session, QString::fromStdU16String(read.state.protocol));
        // The old journal goes only once the new one holds the session on disk.
        startJournal();
        if (journal_)
            journal_->flushAndWait();
        RecoveryJournal::discard(found);
        return;
    }
}

void TForm1::startJournal()
{
    if (journal_)
        return;
    auto j = std::make_unique<RecoveryJournal>(options_.stateDirectory);
    j->stateSource = [this] { return journalState(); };
    if (!j->start()) {
        // The program works on without one; the student's saves are unaffected.
        qWarning("potencor: no recovery journal in %s", qPrintable(QDir::toNativeSeparators(options_.stateDirectory)));
        return;
    }
    j->recordEdits(Memo1->document());
    journal_ = std::move(j);
}

void TForm1::finishJournal()
{
    if (journal_) {
        journal_->remove();
        journal_.reset();
    }
}

bool TForm1::openProtocolFile(const QString& path, std::optional<text::Encoding> forced)
{
    exporting::OpenedProtocol opened;
    if (!guarded(this, [&] { opened = exporting::readProtocol(path, forced); }))
        return false;
    const QByteArray utf8 = opened.text.toUtf8();
    Session session = Session::fromProtocol(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    session.setLabelsVisible(session_.labelsVisible());
    showSession(session, boxText(opened.text));
    // The file holds what the box now shows; saving again goes to it, as it was written.
    savedText_ = protocolText(Memo1);
    SaveTextFileDialog1->FileName = QFileInfo(path).absoluteFilePath();
    SaveTextFileDialog1->EncodingIndex = static_cast<int>(opened.encoding);
    if (journal_)
        journal_->rewriteNow();
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
    if (watched == Memo1->viewport()) {
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
