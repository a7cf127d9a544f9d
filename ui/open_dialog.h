#pragma once
// The dialog that opens a saved protocol: Qt's own file dialog with an
// "Encoding:" list under its controls, whose first entry leaves the choice to
// the file's byte-order mark and bytes.
#include "export/protocol_file.h"

#include <QObject>
#include <QString>

#include <optional>

class QComboBox;
class QFileDialog;
class QWidget;

namespace potencor::ui {

class TOpenTextFileDialog : public QObject {
    Q_OBJECT
public:
    explicit TOpenTextFileDialog(QWidget* owner);

    // The file chosen last, and where the dialog opens next.
    QString FileName;
    // 0: found from the file; 1 to 6: the save dialog's encodings in their order.
    int EncodingIndex = 0;
    std::optional<text::Encoding> encoding() const;

    // Shows the dialog modally; true when a file was chosen.
    bool Execute();

    QFileDialog* window() const { return window_; }
    QComboBox* encodingList() const { return encodings_; }

private:
    QWidget* owner_;
    QFileDialog* window_ = nullptr;
    QComboBox* encodings_ = nullptr;
};

} // namespace potencor::ui
