#pragma once
// TForm1, the main window: the chart, the protocol box, the readout labels and
// the command buttons. The student's work belongs to a Workbench: handlers
// turn input into its steps, and its signals bring the changes to the chart
// and the controls. The window keeps the layout, the questions and dialogs,
// drag and drop and the readout.
#include "export/protocol_file.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

class QCheckBox;
class QMimeData;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QAction;
class QPushButton;

namespace potencor::ui {

class PointerTracker;
class TChart;
}
namespace potencor::work {
class Workbench;
}
namespace potencor::ui {
class TForm2;
class TOpenTextFileDialog;
class TSaveTextFileDialog;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidthPx = 1246;
    static constexpr int kClientHeightPx = 775;

    struct Options {
        bool showStartupWarning = true; // off only where nobody can answer it
        // The recovery journal and, at start, the offer of what a crash left.
        bool recovery = true;
        QString stateDirectory{}; // empty: the user's state folder
    };

    TForm1();
    explicit TForm1(Options options, QWidget* parent = nullptr);
    ~TForm1() override;

    void setAboutWindow(TForm2* about) { Form2 = about; }

    // Controls, named as in the window's layout.
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TChart* Chart1;
    QPushButton* Button1;
    QPlainTextEdit* Memo1;
    QLineEdit* Edit1;
    QLineEdit* Edit3;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QPushButton* Button2;
    QCheckBox* CheckBox1;
    QPushButton* Button3;
    QCheckBox* CheckBox2;
    QPushButton* Button4;
    QPushButton* Button5;
    QPushButton* Button6;
    QCheckBox* CheckBox3;
    QPlainTextEdit* Memo2;
    // Shown while the recovery journal cannot write.
    QLabel* JournalNotice;
    TSaveTextFileDialog* SaveTextFileDialog1;
    TOpenTextFileDialog* OpenTextFileDialog1;
    QAction* OpenAction; // "Открыть протокол…", Ctrl+O
    TForm2* Form2 = nullptr; // the About window, owned by this window

    // The student's work.
    work::Workbench& work() const { return *work_; }

    // Asks what to do with unsaved work before it would be lost; true when
    // it may go (saved, or the student said so). `closing`: the window is
    // about to close, else another protocol is about to be opened.
    bool confirmDiscard(bool closing);
    // "Сохранить данные в файл" as the button does; true when a file was written.
    bool saveThroughDialog();

    // Reads a protocol file into the window, replacing the session; a file
    // that cannot be read is reported and changes nothing. True when opened.
    // A large file is read on a thread of its own under a progress box whose
    // "Отмена" leaves the work as it was; then it goes into the window by
    // parts, the window repainting in between.
    bool openProtocolFile(const QString& path, std::optional<text::Encoding> forced = std::nullopt);
    // Ctrl+O, the protocol box's menu: asks about unsaved work, then the dialog.
    void openProtocol();

    // The system asks the program to end (SIGTERM): the journal is made
    // current first, then the window closes as its close box would.
    void terminationRequested();

    char32_t decimalSeparator() const { return decimalSeparator_; }

    // The window's outer top-left corner as the calibration expects it: the
    // client origin minus the frame the defaults were measured on. Logical px,
    // fractional on a scaled display.
    QPointF calibrationWindowOrigin() const;
    // The cursor's screen position, logical px, fractional on a scaled display.
    QPointF cursorPos() const;

    // Handlers.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Chart1Click();
    void Chart1MouseMove();
    // The keyboard probe: the readout follows it, Enter or Space measure at it.
    void Chart1ProbeMove();
    void Chart1ProbeClick();
    void Button3Click();
    void CheckBox2Click();
    void FormMouseMove();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void SaveTextFileDialog1CanClose(bool& canClose);
    // Asks before characters the chosen encoding cannot hold become '?';
    // false sends the student back to the dialog, UTF-8 selected.
    bool encodingHoldsOrLossAccepted(const QString& text);

protected:
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void readDecimalSeparator();
    void centreOnWorkArea();
    // The cursor's distance from the window's outer top-left corner, logical px.
    QPointF cursorOffset() const;
    // The same for the keyboard probe, as the cursor on its pixel would be.
    QPointF probeOffset() const;
    // The chart's origin as such a distance.
    QPointF chartOffset() const;
    // What a click at that distance does, and what the readout shows there.
    void measureAt(QPointF offset);
    void showReadingAt(QPointF offset);
    // The next 0.5 cm grid line's pixel for Shift+arrow on the chart.
    double gridLineNextTo(QPointF probe, Qt::Orientation axis, int direction) const;
    void nameForAssistiveTechnology();
    void connectWork();
    // Shows the whole session anew (a protocol opened or restored).
    void showSession();
    void offerRecovery();
    void showProtocolMenu(const QPoint& pos);
    static QString droppedFile(const QMimeData* data);

    Options options_;
    char32_t decimalSeparator_ = U'.';
    PointerTracker* pointer_;
    std::unique_ptr<work::Workbench> work_;
    bool lastSaveSucceeded_ = false; // of the save dialog's last run
    bool asking_ = false;
    bool centredWithFrame_ = false;
    bool opening_ = false;            // a protocol is going in, the event loop turning meanwhile
    bool terminationPending_ = false; // asked to end meanwhile
};

// The start-up warning about the display scale (modal, "Warning", one "OK").
void showDisplayScaleWarning(QWidget* parent);

// The first character of the locale's decimal separator, '.' when unreadable.
char32_t decimalSeparatorOf(const QLocale& locale);

} // namespace potencor::ui
