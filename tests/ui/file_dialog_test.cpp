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
#include <memory>
#include <ostream>

namespace potencor::ui {
namespace {

QLineEdit* nameBox(QFileDialog* dialog)
{
    return dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
}

// One of the program's two file dialogs, run as the program runs it.
class Runner {
public:
    virtual ~Runner() = default;
    // Shows the dialog modally for `file`, doing `inside` while it is up;
    // returns its window, closed again.
    QFileDialog* run(const QString& file, const std::function<void(QFileDialog*)>& inside)
    {
        QTimer::singleShot(0, owner_, [this, &inside] { inside(window()); });
        execute(file);
        return window();
    }

protected:
    explicit Runner(QWidget* owner) : owner_(owner) {}
    virtual void execute(const QString& file) = 0;
    virtual QFileDialog* window() const = 0;
    QWidget* owner_;
};

template <class Component>
class RunnerOf : public Runner {
public:
    explicit RunnerOf(QWidget* owner) : Runner(owner), component_(owner) {}

private:
    void execute(const QString& file) override
    {
        component_.FileName = file;
        component_.Execute();
    }
    QFileDialog* window() const override { return component_.window(); }
    Component component_;
};

struct Dialog {
    const char* name;
    std::unique_ptr<Runner> (*make)(QWidget* owner);
};

void PrintTo(const Dialog& dialog, std::ostream* os) { *os << dialog.name; }

template <class Component>
std::unique_ptr<Runner> make(QWidget* owner)
{
    return std::make_unique<RunnerOf<Component>>(owner);
}

class FileDialogCompleter : public ::testing::TestWithParam<Dialog> {};

// A name that matched nothing while typed, the dialog closed, and then the
// folder's listing arrived with a file of that name (a slow disk, a loaded
// machine): Qt completes again on such a listing, but not for a dialog that
// has gone.
TEST_P(FileDialogCompleter, ListingThatArrivesAfterTheDialogClosedBringsNoList)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QWidget owner;
    owner.resize(400, 300);
    owner.show();

    QLineEdit* box = nullptr;
    const auto runner = GetParam().make(&owner);
    QFileDialog* dialog = runner->run(folder.filePath(QStringLiteral("first.txt")), [&](QFileDialog* d) {
        box = nameBox(d);
        if (!box) {
            d->reject();
            return;
        }
        box->setFocus();
        box->clear();
        QTest::keyClicks(box, folder.filePath(QStringLiteral("zz")));
        d->reject();
    });
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(box, nullptr);
    ASSERT_FALSE(dialog->isVisible());
    QCompleter* completer = box->completer();
    ASSERT_NE(completer, nullptr);
    ASSERT_FALSE(completer->popup()->isVisible());

    const QString late = folder.filePath(QStringLiteral("zz-late.txt"));
    QFile file(late);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(model->index(late).isValid(), 10000);
    emit model->directoryLoaded(folder.path());
    QCoreApplication::processEvents();

    EXPECT_FALSE(completer->popup()->isVisible()) << GetParam().name;
}

// The completer still completes once the dialog is shown again.
TEST_P(FileDialogCompleter, CompletesAgainWhenTheDialogIsShownAgain)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath(QStringLiteral("zz-there.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QWidget owner;
    owner.resize(400, 300);
    owner.show();

    bool shown = false;
    const auto typeAndLook = [&](QFileDialog* d) {
        QLineEdit* box = nameBox(d);
        if (box) {
            box->setFocus();
            box->clear();
            QTest::keyClicks(box, folder.filePath(QStringLiteral("zz")));
            QAbstractItemView* list = box->completer() ? box->completer()->popup() : nullptr;
            shown = list && QTest::qWaitFor([list] { return list->isVisible(); }, 10000);
        }
        d->reject();
    };
    const auto runner = GetParam().make(&owner);
    const QString first = folder.filePath(QStringLiteral("first.txt"));
    runner->run(first, typeAndLook);
    ASSERT_TRUE(shown) << "no list while the dialog is up the first time";
    shown = false;
    runner->run(first, typeAndLook);
    EXPECT_TRUE(shown) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Dialogs, FileDialogCompleter,
                         ::testing::Values(Dialog{"save", make<TSaveTextFileDialog>},
                                           Dialog{"open", make<TOpenTextFileDialog>}),
                         [](const ::testing::TestParamInfo<Dialog>& info) { return std::string(info.param.name); });

} // namespace
} // namespace potencor::ui
