#include "work/workbench.h"

#include "core/error.h"
#include "core/journal.h"
#include "work/recovery.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace potencor::work {
namespace {

// Cursor distances from the window's outer corner, px, and what the default
// calibration makes of them: x = (516 - 35) * 42.85 / 962 = 21.425 cm,
// y = (700 - (372 - 10)) * 30 / 677 = 14.9778 cm; at 772 px right,
// x = (772 - 35) * 42.85 / 962 = 32.8281 cm, on the right electrode (12.6 V).
constexpr long double kCentreDx = 516, kCentreDy = 372, kRightDx = 772;

class WorkbenchTest : public testing::Test {
protected:
    QTemporaryDir state;
    Workbench::Options options(bool recovery = false) const { return {recovery, state.path()}; }

    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(WorkbenchTest, MeasureAndUndoKeepTextPointsAndCounterInStep)
{
    Workbench w(options());
    w.measure(kCentreDx, kCentreDy, false, U'.');
    w.measure(kRightDx, kCentreDy, false, U',');
    const Session::Change third = w.measure(kCentreDx, kCentreDy, true, U'.');
    EXPECT_TRUE(QString::fromStdString(third.line).startsWith(QStringLiteral("2: x=21.500см y=15.000см phi=")));
    EXPECT_EQ(w.protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"
                                               "1: x=32,828см y=14,978см phi=12,600 В\r\n")
                                    + QString::fromStdString(third.line) + QStringLiteral("\r\n"));
    EXPECT_TRUE(w.undo());
    EXPECT_EQ(w.protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"
                                               "1: x=32,828см y=14,978см phi=12,600 В\r\n"));
    EXPECT_EQ(w.session().count(), 2);
    ASSERT_EQ(w.session().points().size(), 2u);
    EXPECT_EQ(w.session().points()[1].number, 1);
}

TEST_F(WorkbenchTest, UndoTakesWhateverLineIsLastAndStopsAtZero)
{
    Workbench w(options());
    w.measure(kCentreDx, kCentreDy, false, U'.');
    QTextCursor typing(w.protocol());
    typing.movePosition(QTextCursor::End);
    typing.insertText(QStringLiteral("typed by hand"));
    EXPECT_TRUE(w.undo());
    EXPECT_EQ(w.protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"));
    EXPECT_TRUE(w.session().points().empty());
    EXPECT_EQ(w.session().count(), 0);
    EXPECT_FALSE(w.undo());
    EXPECT_EQ(w.protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"));
    EXPECT_EQ(w.session().count(), 0);
}

// The views hear of a point once its line is in the protocol, and of its
// removal before its line goes.
TEST_F(WorkbenchTest, ViewsHearOfEachChangeInOrder)
{
    Workbench w(options());
    QStringList seen;
    QObject::connect(&w, &Workbench::pointAdded, [&](const MeasuredPoint& p) {
        seen << QStringLiteral("added %1 with %2 lines").arg(p.number).arg(w.protocolText().count(QStringLiteral("\r\n")));
    });
    QObject::connect(&w, &Workbench::pointRemoved,
                     [&] { seen << QStringLiteral("removed with %1 lines").arg(w.protocolText().count(QStringLiteral("\r\n"))); });
    QObject::connect(&w, &Workbench::labelsVisibleChanged, [&](bool on) { seen << QStringLiteral("labels %1").arg(on); });
    w.measure(kCentreDx, kCentreDy, false, U'.');
    w.setLabelsVisible(true);
    w.undo();
    w.undo();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("added 0 with 1 lines"), QStringLiteral("labels 1"),
                                 QStringLiteral("removed with 1 lines")}));
    EXPECT_TRUE(w.session().labelsVisible());
}

// A model failure changes nothing; a counter at its top takes the line and the
// point and then reports the overflow.
TEST_F(WorkbenchTest, FailuresKeepWhatWasDoneBeforeThem)
{
    Workbench w(options());
    calibration::Calibration broken = w.calibration();
    broken.Nx = 0;
    w.setCalibration(broken);
    EXPECT_THROW(w.measure(kCentreDx, kCentreDy, false, U'.'), Error);
    EXPECT_EQ(w.protocolText(), QString());
    EXPECT_TRUE(w.session().points().empty());

    const QString path = state.filePath(QStringLiteral("top.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("2147483647: x=1.000\xf1\xec y=1.000\xf1\xec phi=4.573 \xc2\r\n");
    f.close();
    Workbench top(options());
    top.open(path);
    QSignalSpy added(&top, &Workbench::pointAdded);
    EXPECT_THROW(top.measure(kCentreDx, kCentreDy, false, U'.'), Error);
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(top.session().points().size(), 2u);
    EXPECT_EQ(top.session().count(), std::numeric_limits<std::int32_t>::max());
    EXPECT_TRUE(top.protocolText().endsWith(QStringLiteral("\r\n2147483647: x=21.425см y=14.978см phi=6.300 В\r\n")));
}

TEST_F(WorkbenchTest, UnsavedWorkFollowsSavesEditsAndOpens)
{
    Workbench w(options());
    EXPECT_FALSE(w.hasUnsavedWork());
    w.measure(kCentreDx, kCentreDy, false, U'.');
    EXPECT_TRUE(w.hasUnsavedWork());
    const QString path = state.filePath(QStringLiteral("p.txt"));
    w.save(path, w.protocolText(), text::Encoding::Utf8);
    EXPECT_FALSE(w.hasUnsavedWork());
    EXPECT_EQ(readAll(path), QByteArray("\xEF\xBB\xBF" "0: x=21.425см y=14.978см phi=6.300 В\r\n"));
    w.undo();
    EXPECT_TRUE(w.hasUnsavedWork());
    EXPECT_THROW(w.save(state.filePath(QStringLiteral("no/such/folder.txt")), w.protocolText(),
                        text::Encoding::Utf8),
                 Error);
    EXPECT_TRUE(w.hasUnsavedWork());

    QSignalSpy replaced(&w, &Workbench::sessionReplaced);
    EXPECT_EQ(w.open(path), text::Encoding::Utf8);
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_FALSE(w.hasUnsavedWork());
    EXPECT_EQ(w.session().count(), 1);
    EXPECT_THROW(w.open(state.filePath(QStringLiteral("missing.txt"))), Error);
    EXPECT_EQ(w.protocolText(), QStringLiteral("0: x=21.425см y=14.978см phi=6.300 В\r\n"));
}

// A file's lines come back whatever ends them (CR LF, LF, lone CR, none at
// the end), and a long file let in by parts, the window turning between them,
// makes the very document that one piece makes.
TEST_F(WorkbenchTest, OpenedLinesAreTheFilesWhateverEndsThemAndHoweverTheyGoIn)
{
    QByteArray bytes = "0: x=1.000\xf1\xec y=1.000\xf1\xec phi=4.573 \xc2\r"
                       "\xee\xef\xfb\xf2\n"
                       "\r\n"
                       "1: x=2.000\xf1\xec y=1.000\xf1\xec phi=4.596 \xc2\r\n";
    for (int i = 2; i < 60000; ++i)
        bytes += QByteArray::number(i) + ": x=1.000\xf1\xec y=2.000\xf1\xec phi=3.000 \xc2\r\n";
    bytes += "\xea\xee\xed\xe5\xf6"; // "конец", no line end
    const QString path = state.filePath(QStringLiteral("ends.txt"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    QString expected = QStringLiteral("0: x=1.000см y=1.000см phi=4.573 В\r\nопыт\r\n\r\n1: x=2.000см y=1.000см phi=4.596 В\r\n");
    for (int i = 2; i < 60000; ++i)
        expected += QString::number(i) + QStringLiteral(": x=1.000см y=2.000см phi=3.000 В\r\n");
    expected += QStringLiteral("конец");

    Workbench whole(options());
    EXPECT_EQ(whole.open(path), text::Encoding::Ansi);
    EXPECT_EQ(whole.protocolText(), expected);
    EXPECT_EQ(whole.protocol()->blockCount(), 60003);
    EXPECT_EQ(whole.session().points().size(), 60000u);
    EXPECT_EQ(whole.session().count(), 60000);

    Workbench parts(options());
    std::optional<Workbench::Opening> opening = Workbench::readForOpening(path, std::nullopt);
    ASSERT_TRUE(opening);
    qsizetype chars = 0;
    for (const QString& part : opening->text)
        chars += part.size();
    std::vector<qsizetype> seen;
    parts.open(std::move(*opening), [&](qsizetype done, qsizetype total) {
        EXPECT_EQ(total, chars);
        seen.push_back(done);
    });
    EXPECT_GT(seen.size(), 2u) << "not let in by parts";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(parts.protocol()->toRawText(), whole.protocol()->toRawText());
    EXPECT_EQ(parts.protocol()->blockCount(), whole.protocol()->blockCount());
    EXPECT_EQ(parts.session(), whole.session());
    EXPECT_FALSE(parts.hasUnsavedWork());

    // The journal, started anew with the opened file before it went in,
    // holds the document's text, '\n' between its lines.
    Workbench journalled(options(true));
    journalled.recover([](const Workbench::RecoveryOffer&) { return false; }, [](const Workbench::Unreadable&) {});
    journalled.open(std::move(*Workbench::readForOpening(path, std::nullopt)), [](qsizetype, qsizetype) {});
    journalled.flushJournal();
    const journal::ReadResult written = journal::read(readAll(journalled.journal()->path()).toStdString());
    ASSERT_EQ(written.status, journal::ReadResult::Status::Ok) << written.detail;
    EXPECT_EQ(written.state.protocol, QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toStdU16String());
    EXPECT_EQ(written.state.session, whole.session());
    EXPECT_FALSE(journalled.hasUnsavedWork());
    journalled.measure(kCentreDx, kCentreDy, false, U'.');
    journalled.flushJournal();
    EXPECT_EQ(journal::read(readAll(journalled.journal()->path()).toStdString()).state, journalled.journalState())
        << "the edits after the open are recorded";

    // Cancelled between its stages, reading gives nothing.
    EXPECT_FALSE(Workbench::readForOpening(path, std::nullopt, [] { return true; }));
}

// Every step reaches the journal: what it holds on disk replays to the
// work as it is, and a new run offered it restores it.
TEST_F(WorkbenchTest, TheJournalFollowsEveryStepAndRestoresTheWork)
{
    journal::State expected;
    {
        Workbench w(options(true));
        w.recover([](const Workbench::RecoveryOffer&) { return false; }, [](const Workbench::Unreadable&) {});
        ASSERT_NE(w.journal(), nullptr);
        w.measure(kCentreDx, kCentreDy, false, U'.');
        w.measure(kRightDx, kCentreDy, false, U'.');
        w.undo();
        QTextCursor typing(w.protocol());
        typing.insertText(QStringLiteral("Иванов\n"));
        w.setLabelsVisible(true);
        w.flushJournal();
        const journal::ReadResult r = journal::read(readAll(w.journal()->path()).toStdString());
        ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << r.detail;
        expected = {u"Иванов\n0: x=21.425см y=14.978см phi=6.300 В\n",
                    Session::restored({{481.0L * 42.85L / 962.0L, 10140.0L / 677.0L, 0}}, 1, true)};
        EXPECT_EQ(r.state.protocol, expected.protocol);
        EXPECT_EQ(r.state.session.points(), expected.session.points());
        EXPECT_EQ(r.state.session.count(), 1);
        EXPECT_TRUE(r.state.session.labelsVisible());
        // Left behind as by a crash: the lock goes, the journal stays.
        const QString path = w.journal()->path();
        QFile::copy(path, path + QStringLiteral(".copy"));
        w.finish();
        QFile::rename(path + QStringLiteral(".copy"), path);
    }
    Workbench next(options(true));
    QSignalSpy replaced(&next, &Workbench::sessionReplaced);
    qsizetype offered = -1;
    next.recover(
        [&](const Workbench::RecoveryOffer& offer) {
            offered = offer.points;
            return true;
        },
        [](const Workbench::Unreadable&) { ADD_FAILURE() << "a good journal called unreadable"; });
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(next.journalState(), expected);
    EXPECT_EQ(QDir(state.path()).entryList({QStringLiteral("*.journal")}, QDir::Files).size(), 1);
}

} // namespace
} // namespace potencor::work
