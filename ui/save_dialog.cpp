#include "ui/save_dialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QCoreApplication>
#include <QFileIconProvider>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>

#include <optional>

namespace potencor::ui {
namespace {

// Called from the dialog's file-information thread as well as the UI thread:
// it keeps no state of its own.
class NameOnlyIconProvider : public QFileIconProvider {
public:
    QIcon icon(IconType type) const override { return QFileIconProvider::icon(type); }

    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        if (info.isDir())
            return icon(Folder);
        const QMimeType mime = byName(info);
        QIcon themed = QIcon::fromTheme(mime.iconName());
        if (themed.isNull())
            themed = QIcon::fromTheme(mime.genericIconName());
        return themed.isNull() ? icon(File) : themed;
    }

    QString type(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return QCoreApplication::translate("QAbstractFileIconProvider", "Drive");
        if (info.isDir())
            return QCoreApplication::translate("QAbstractFileIconProvider", "Folder");
        return byName(info).comment();
    }

private:
    static QMimeType byName(const QFileInfo& info)
    {
        return QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }
};

} // namespace

void keepPlaceAcrossShowings(QWidget* dialog)
{
    class Place : public QObject {
    public:
        using QObject::QObject;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* window = static_cast<QWidget*>(watched);
            if (event->type() == QEvent::Hide && !event->spontaneous())
                at_ = window->frameGeometry().topLeft();
            else if (event->type() == QEvent::Show && !event->spontaneous() && at_)
                window->move(*at_); // not yet mapped: the window manager sees only this
            return false;
        }

    private:
        std::optional<QPoint> at_;
    };
    dialog->installEventFilter(new Place(dialog));
}

void useNameOnlyIcons(QFileDialog* dialog)
{
    // Dialogs keep a pointer; one provider serves them all, for the program's life.
    static NameOnlyIconProvider provider;
    dialog->setIconProvider(&provider);
}

class SaveFileWindow : public QFileDialog {
public:
    SaveFileWindow(TSaveTextFileDialog* component, QWidget* owner)
        : QFileDialog(owner), component_(component)
    {
        setObjectName(QStringLiteral("SaveTextFileDialog1"));
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontConfirmOverwrite);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setNameFilter(QStringLiteral("*.txt"));
        setDefaultSuffix(QString()); // a name without extension is used as typed
        setSizeGripEnabled(true);
        useNameOnlyIcons(this);
        keepPlaceAcrossShowings(this);
        encodings_ = addEncodingList(this, TSaveTextFileDialog::encodingNames());
    }

    QComboBox* encodings() const { return encodings_; }

    void done(int result) override
    {
        if (component_->closing(result == QDialog::Accepted)) {
            QFileDialog::done(result);
            releaseCompleters(this);
        }
    }

private:
    TSaveTextFileDialog* component_;
    QComboBox* encodings_;
};

QComboBox* addEncodingList(QFileDialog* dialog, const QStringList& entries)
{
    auto* list = new QComboBox(dialog);
    list->setObjectName(QStringLiteral("encodingList"));
    list->addItems(entries);
    auto* label = new QLabel(QStringLiteral("Encoding:"), dialog);
    label->setBuddy(list);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(list, row, 1);
    }
    return list;
}

void releaseCompleters(QWidget* dialog)
{
    for (QCompleter* completer : dialog->findChildren<QCompleter*>()) {
        if (QAbstractItemView* popup = completer->popup(); popup && popup->isVisible())
            popup->hide();
        // Qt completes again on a finished listing only while it has a widget.
        completer->setWidget(nullptr);
    }
}

void attachCompleters(QWidget* dialog)
{
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
        if (QCompleter* completer = edit->completer())
            completer->setWidget(edit);
    }
}

const QStringList& TSaveTextFileDialog::encodingNames()
{
    static const QStringList names{QStringLiteral("ANSI"), QStringLiteral("ASCII"),
                                   QStringLiteral("Unicode"), QStringLiteral("Big Endian Unicode"),
                                   QStringLiteral("UTF-8"), QStringLiteral("UTF-7")};
    return names;
}

TSaveTextFileDialog::TSaveTextFileDialog(QWidget* owner) : QObject(owner), owner_(owner)
{
    setObjectName(QStringLiteral("SaveTextFileDialog1"));
}

TSaveTextFileDialog::~TSaveTextFileDialog() = default; // the window is the owner's child

QFileDialog* TSaveTextFileDialog::window() const { return window_; }

QComboBox* TSaveTextFileDialog::encodingList() const
{
    return window_ ? window_->encodings() : nullptr;
}

QFileDialog* TSaveTextFileDialog::ensureWindow()
{
    if (!window_)
        window_ = new SaveFileWindow(this, owner_);
    return window_;
}

bool TSaveTextFileDialog::Execute()
{
    ensureWindow();
    window_->encodings()->setCurrentIndex(EncodingIndex);
    window_->selectFile(FileName);
    attachCompleters(window_);
    return window_->exec() == QDialog::Accepted;
}

bool TSaveTextFileDialog::closing(bool confirmed)
{
    // The file is written in the encoding selected now, so store it first.
    EncodingIndex = window_->encodings()->currentIndex();
    if (!confirmed)
        return true;
    const QStringList files = window_->selectedFiles();
    if (!files.isEmpty())
        FileName = files.first();
    bool canClose = true;
    if (onCanClose)
        onCanClose(canClose);
    return canClose;
}

} // namespace potencor::ui
