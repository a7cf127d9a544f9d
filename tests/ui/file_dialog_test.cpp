// The file dialogs' name completer after the dialog has gone. Its list is a
// window of its own; shown over the main window, it takes the next click on
// the chart for itself, and that measurement is lost.
#include "ui/open_dialog.h"
#include "ui/save_dialog.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace potencor::ui {
namespace {

// Shows one of the program's file dialogs as the program does, for `file`,
// and types `name` into its name box while it is up; returns the name box,
// the dialog closed again.
template <class Component>
QLineEdit* typeThenClose(Component& component, const QString& file, const QString& name,
                         const std::function<void(QLineEdit*)>& lookWhileUp = {})
{
    QLineEdit* box = nullptr;
    QTimer::singleShot(0, component.parent(), [&] {
        QFileDialog* dialog = component.window();
        box = dialog->template findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (box) {
            box->setFocus();
            box->clear();
            QTest::keyClicks(box, name);
            if (lookWhileUp)
                lookWhileUp(box);
        }
        dialog->reject();
    });
    component.FileName = file;
    component.Execute();
    return box;
}

void createFile(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

template <class Component>
class FileDialogCompleter : public ::testing::Test {};

using Dialogs = ::testing::Types<TSaveTextFileDialog, TOpenTextFileDialog>;
TYPED_TEST_SUITE(FileDialogCompleter, Dialogs);

// A name that matched nothing while typed, the dialog closed, and then the
// folder's listing arrived with a file of that name (a slow disk, a loaded
// machine): Qt completes again on such a listing, but not for a dialog that
// has gone.
TYPED_TEST(FileDialogCompleter, ListingThatArrivesAfterTheDialogClosedBringsNoList)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QWidget owner;
    owner.resize(400, 300);
    owner.show();
    TypeParam component(&owner);

    QLineEdit* box = typeThenClose(component, folder.filePath(QStringLiteral("first.txt")),
                                   folder.filePath(QStringLiteral("zz")));
    ASSERT_NE(box, nullptr);
    QFileDialog* dialog = component.window();
    ASSERT_FALSE(dialog->isVisible());
    QCompleter* completer = box->completer();
    ASSERT_NE(completer, nullptr);
    ASSERT_FALSE(completer->popup()->isVisible());

    const QString late = folder.filePath(QStringLiteral("zz-late.txt"));
    createFile(late);
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(model->index(late).isValid(), 10000);
    emit model->directoryLoaded(folder.path());
    QCoreApplication::processEvents();

    EXPECT_FALSE(completer->popup()->isVisible());
}

// The completer still completes once the dialog is shown again.
TYPED_TEST(FileDialogCompleter, CompletesAgainWhenTheDialogIsShownAgain)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    createFile(folder.filePath(QStringLiteral("zz-there.txt")));
    QWidget owner;
    owner.resize(400, 300);
    owner.show();
    TypeParam component(&owner);

    bool shown = false;
    const auto lookForList = [&shown](QLineEdit* box) {
        QAbstractItemView* list = box->completer() ? box->completer()->popup() : nullptr;
        shown = list && QTest::qWaitFor([list] { return list->isVisible(); }, 10000);
    };
    const QString first = folder.filePath(QStringLiteral("first.txt"));
    const QString name = folder.filePath(QStringLiteral("zz"));
    ASSERT_NE(typeThenClose(component, first, name, lookForList), nullptr);
    ASSERT_TRUE(shown) << "no list while the dialog is up the first time";
    shown = false;
    typeThenClose(component, first, name, lookForList);
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace potencor::ui
