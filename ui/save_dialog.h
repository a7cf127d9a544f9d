#pragma once
// SaveTextFileDialog1: a save-file dialog component. Its window is Qt's own
// (non-native) file dialog with an "Encoding:" list below its controls, made
// on first use, since building a file dialog is a large share of start-up.
// The confirmed file is written while the dialog is still on screen, through
// the onCanClose callback.
#include "export/protocol_file.h"

#include <QFileDialog>
#include <QObject>

#include <functional>

class QComboBox;

namespace potencor::ui {

class SaveFileWindow;

class TSaveTextFileDialog : public QObject {
    Q_OBJECT
public:
    explicit TSaveTextFileDialog(QWidget* owner);
    ~TSaveTextFileDialog() override;

    // The file name pre-filled at the next opening; after a confirmation the
    // full path confirmed (also when writing it failed).
    QString FileName = QStringLiteral("data.txt");
    // The encoding list's selection, kept across openings and cancels.
    int EncodingIndex = 0;
    text::Encoding encoding() const { return static_cast<text::Encoding>(EncodingIndex); }

    // OnCanClose: called with the confirmed path in FileName; canClose starts true.
    std::function<void(bool& canClose)> onCanClose;

    // Shows the dialog modally; true when a name was confirmed.
    bool Execute();

    // The dialog's window while it exists (from the first Execute on), else null.
    QFileDialog* window() const;
    // Makes the window if it does not exist yet, without showing it.
    QFileDialog* ensureWindow();
    QComboBox* encodingList() const;

    static const QStringList& encodingNames();

private:
    friend class SaveFileWindow;
    // Called by the window as it closes; false keeps it open.
    bool closing(bool confirmed);

    QWidget* owner_;
    SaveFileWindow* window_ = nullptr;
};

// Gives a file dialog icons and type names from file names and file types
// alone. Qt's own provider reads a file to guess its type, also on the UI
// thread, which blocks for good on a file like /proc/kmsg or in a stalled
// network folder.
void useNameOnlyIcons(QFileDialog* dialog);

// Shows a dialog again where it was last (where the student left it). Qt
// would put its frame where its client area was: 1 px right and a title bar
// lower at every showing.
void keepPlaceAcrossShowings(QWidget* dialog);

// The "Encoding:" list under a file dialog's own controls.
QComboBox* addEncodingList(QFileDialog* dialog, const QStringList& entries);

// A file dialog's name completer shows its list as a window of its own, which
// outlives the dialog and eats the next click. Released when the dialog
// closes: the list is hidden, and the completer lets go of the name box, so
// that a folder listing that arrives later (a slow disk, a loaded machine)
// cannot bring the list back over the chart. Attached again before the
// dialog is shown.
void releaseCompleters(QWidget* dialog);
void attachCompleters(QWidget* dialog);

} // namespace potencor::ui
