#include "ui/save_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

namespace potencor::ui {

const QStringList& TSaveTextFileDialog::encodingNames()
{
    static const QStringList names{QStringLiteral("ANSI"), QStringLiteral("ASCII"),
                                   QStringLiteral("Unicode"), QStringLiteral("Big Endian Unicode"),
                                   QStringLiteral("UTF-8"), QStringLiteral("UTF-7")};
    return names;
}

TSaveTextFileDialog::TSaveTextFileDialog(QWidget* parent)
    : QFileDialog(parent), encodings_(new QComboBox(this))
{
    setObjectName(QStringLiteral("SaveTextFileDialog1"));
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setOption(QFileDialog::ReadOnly, false);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(QStringLiteral("*.txt"));
    setDefaultSuffix(QString()); // a name without extension is used as typed
    setSizeGripEnabled(true);

    encodings_->addItems(encodingNames());
    encodings_->setObjectName(QStringLiteral("encodingList"));
    auto* label = new QLabel(QStringLiteral("Encoding:"), this);
    label->setBuddy(encodings_);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(encodings_, row, 1);
    }
}

bool TSaveTextFileDialog::Execute()
{
    encodings_->setCurrentIndex(EncodingIndex);
    selectFile(FileName);
    return exec() == QDialog::Accepted;
}

void TSaveTextFileDialog::done(int result)
{
    // The file is written in the encoding selected now, so store it first.
    EncodingIndex = encodings_->currentIndex();
    if (result == QDialog::Accepted) {
        const QStringList files = selectedFiles();
        if (!files.isEmpty())
            FileName = files.first();
        bool canClose = true;
        if (onCanClose)
            onCanClose(canClose);
        if (!canClose)
            return;
    }
    QFileDialog::done(result);
}

} // namespace potencor::ui
