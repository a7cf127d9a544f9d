#pragma once
// SaveTextFileDialog1: Qt's own (non-native) save dialog with an "Encoding:"
// list below its controls. The confirmed file is written while the dialog is
// still on screen, through the canClose callback.
#include "export/protocol_file.h"

#include <QFileDialog>

#include <functional>

class QComboBox;

namespace potencor::ui {

class TSaveTextFileDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit TSaveTextFileDialog(QWidget* parent = nullptr);

    // The file name pre-filled at the next opening; after a confirmation the
    // full path confirmed (also when writing it failed).
    QString FileName = QStringLiteral("data.txt");
    // The encoding list's selection, kept across openings and cancels.
    int EncodingIndex = 0;
    exporting::Encoding encoding() const { return static_cast<exporting::Encoding>(EncodingIndex); }

    // OnCanClose: called with the confirmed path in FileName; canClose starts true.
    std::function<void(bool& canClose)> onCanClose;

    // Shows the dialog modally; true when a name was confirmed.
    bool Execute();

    QComboBox* encodingList() const { return encodings_; }

    static const QStringList& encodingNames();

    void done(int result) override;

private:
    QComboBox* encodings_;
};

} // namespace potencor::ui
