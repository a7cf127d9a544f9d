#include "ui/open_dialog.h"

#include "ui/save_dialog.h"

#include <QComboBox>
#include <QFileDialog>

namespace potencor::ui {

TOpenTextFileDialog::TOpenTextFileDialog(QWidget* owner) : QObject(owner), owner_(owner)
{
    setObjectName(QStringLiteral("OpenTextFileDialog1"));
}

std::optional<text::Encoding> TOpenTextFileDialog::encoding() const
{
    if (EncodingIndex <= 0)
        return std::nullopt;
    return static_cast<text::Encoding>(EncodingIndex - 1);
}

bool TOpenTextFileDialog::Execute()
{
    if (!window_) {
        window_ = new QFileDialog(owner_);
        window_->setObjectName(QStringLiteral("OpenTextFileDialog1"));
        window_->setOption(QFileDialog::DontUseNativeDialog);
        useNameOnlyIcons(window_);
        keepPlaceAcrossShowings(window_);
        window_->setAcceptMode(QFileDialog::AcceptOpen);
        window_->setFileMode(QFileDialog::ExistingFile);
        window_->setNameFilters({QStringLiteral("*.txt"), QStringLiteral("*")});
        window_->setWindowTitle(QStringLiteral("Открыть протокол"));
        encodings_ = addEncodingList(window_, QStringList{QStringLiteral("Автоматически")}
                                                  + TSaveTextFileDialog::encodingNames());
        connect(window_, &QDialog::finished, window_, [this] { releaseCompleters(window_); });
    }
    encodings_->setCurrentIndex(EncodingIndex);
    if (!FileName.isEmpty())
        window_->selectFile(FileName);
    attachCompleters(window_);
    const bool chosen = window_->exec() == QDialog::Accepted;
    EncodingIndex = encodings_->currentIndex();
    if (chosen && !window_->selectedFiles().isEmpty())
        FileName = window_->selectedFiles().first();
    return chosen;
}

} // namespace potencor::ui
