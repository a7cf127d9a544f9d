// The recovery journal under faults: what a damaged, odd or unreadable file
// in the journal's folder brings at the next start, and what a full disk, a
// folder that cannot take the journal and a busy window do to the work it
// keeps. The tests run as root: a full disk is a small tmpfs of the test's
// own, and where a permission matters the file system sees the test as nobody.
#include "work/workbench.h"

#include "core/journal.h"
#include "work/recovery.h"
#include "tests/work/journal_frames.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace potencor::work {
namespace {

using Why = Workbench::Unreadable::Why;

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

journal::ReadResult readJournal(const QString& path)
{
    const QByteArray bytes = readAll(path);
    return journal::read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The i-th measurement of a test: on the plane, a point of its own for the
// first 22.
void measureNth(Workbench& w, int i) { w.measure(60 + 40 * (i % 22), 100 + 50 * (i / 22), false, U'.'); }

// Events run until `condition` holds; a wait that runs out fails the test
// naming what it waited for.
void waitFor(const char* what, const std::function<bool()>& condition)
{
    constexpr int kLimitMs = 20000;
    if (!QTest::qWaitFor(condition, kLimitMs))
        ADD_FAILURE() << "timed out after " << kLimitMs / 1000 << " s waiting for " << what;
}

// A disk of its own at a folder, for as long as it lives.
class SmallDisk {
public:
    explicit SmallDisk(const QString& at, unsigned long flags = 0) : at_(native(at))
    {
        mounted_ = ::mount("none", at_.c_str(), "tmpfs", flags, "size=256k,mode=0700") == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool mounted() const { return mounted_; }

    // Takes every free page: the next write that needs one fails.
    void fill()
    {
        const int fd = ::open((at_ + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        const std::string page(4096, 'f');
        while (::write(fd, page.data(), page.size()) > 0) {
        }
        ::close(fd);
    }
    void free() { ::unlink((at_ + "/filler").c_str()); }

private:
    std::string at_;
    bool mounted_ = false;
};

// The file system sees this thread, and the threads it starts, as nobody while
// it lives.
class AsNobody {
public:
    AsNobody()
    {
        ::setfsgid(65534);
        ::setfsuid(65534);
    }
    ~AsNobody()
    {
        ::setfsuid(0);
        ::setfsgid(0);
    }
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;
    static bool works() { return ::geteuid() == 0 && static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))) == 0; }
};

class Recovery : public testing::Test {
protected:
    QTemporaryDir state;
    QTemporaryDir spare;
    std::vector<Workbench::RecoveryOffer> offers;
    std::vector<Workbench::Unreadable> unreadable;

    Workbench::Options options(const QString& stateDir, QStringList fallbacks = {}) const
    {
        return {true, stateDir, fallbacks};
    }

    // Starts as the program does: what was left is offered and answered.
    void recover(Workbench& w, bool answer)
    {
        w.recover(
            [this, answer](const Workbench::RecoveryOffer& offer) {
                offers.push_back(offer);
                return answer;
            },
            [this](const Workbench::Unreadable& u) { unreadable.push_back(u); });
    }

    // What a crash leaves: the journal as it is on the disk, without its owner.
    static QString crash(Workbench& w)
    {
        w.flushJournal();
        const QString path = w.journal()->path();
        const QByteArray bytes = readAll(path);
        w.finish();
        writeFile(path, bytes);
        return path;
    }

    // The journal a run of `measurements` leaves when it crashes.
    QByteArray journalOf(int measurements)
    {
        QTemporaryDir scratch;
        Workbench w(options(scratch.path()));
        w.startJournal();
        for (int i = 0; i < measurements; ++i) {
            measureNth(w, i);
            w.flushJournal();
        }
        return readAll(crash(w));
    }

    // A folder's entries, hidden ones too, without this run's own journal and
    // lock; a name kept aside ends in ".unreadable-*".
    static QStringList entries(const QString& dir, const Workbench& w)
    {
        QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                                                QDir::Name);
        const QString own = w.journal() ? QFileInfo(w.journal()->path()).fileName() : QString();
        names.removeAll(own);
        names.removeAll(own + QStringLiteral(".lock"));
        static const QRegularExpression aside(QStringLiteral("\\.unreadable-\\d{8}-\\d{6}$"));
        for (QString& n : names)
            n.replace(aside, QStringLiteral(".unreadable-*"));
        return names;
    }
};

// ---- Damage ----

using test::pointRecordAt;

// A byte changed in the middle of a journal: the work before it comes back,
// the question says the rest could not be read, and the journal is kept
// whatever the answer. A crash while writing cuts the last record short: that
// record goes silently, and the journal with it once restored.
TEST_F(Recovery, DamagedJournalComesBackUpToTheDamageAndIsKept)
{
    struct Case {
        const char* name;
        std::function<void(QByteArray&)> damage;
        bool answer;
        qsizetype points;
        std::int32_t count;
        bool damaged;
    };
    const Case cases[] = {
        {"LastRecordCutShort", [](QByteArray& b) { b.chop(2); }, true, 6, 5, false},
        {"MiddlePointFlippedRestored", [](QByteArray& b) { b[pointRecordAt(b, 3) + 15] ^= 0x01; }, true, 3, 3, true},
        {"MiddlePointFlippedDeclined", [](QByteArray& b) { b[pointRecordAt(b, 3) + 15] ^= 0x01; }, false, 3, 0, true},
    };
    const QByteArray intact = journalOf(6);
    ASSERT_GE(pointRecordAt(intact, 5), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        [&] {
            QTemporaryDir dir;
            QByteArray bytes = intact;
            c.damage(bytes);
            const QString left = dir.filePath(QStringLiteral("session-1-1.journal"));
            writeFile(left, bytes);
            offers.clear();
            unreadable.clear();

            Workbench w(options(dir.path()));
            recover(w, c.answer);
            ASSERT_EQ(offers.size(), 1u);
            EXPECT_TRUE(unreadable.empty());
            EXPECT_EQ(offers[0].points, c.points);
            EXPECT_EQ(offers[0].damaged, c.damaged);
            EXPECT_EQ(w.session().points().size(), c.answer ? static_cast<std::size_t>(c.points) : 0u);
            EXPECT_EQ(w.session().count(), c.count);
            w.flushJournal();
            if (c.damaged) {
                EXPECT_EQ(entries(dir.path(), w), QStringList{QStringLiteral("session-1-1.journal.unreadable-*")});
                EXPECT_EQ(readAll(offers[0].keptAs), bytes) << "the journal was not kept as it was";
            } else {
                EXPECT_TRUE(entries(dir.path(), w).isEmpty()) << entries(dir.path(), w).join(u' ').toStdString();
            }
            // The journal of this run holds what came back.
            EXPECT_EQ(readJournal(w.journal()->path()).state, w.journalState());
        }();
    }
}

// ---- A full disk ----

// The disk fills and frees again: the notice of a journal that cannot write
// comes and goes, and work done after space returned reaches the journal.
TEST_F(Recovery, FullDiskForAWhileLosesNothingOnceSpaceReturns)
{
    SmallDisk disk(state.path());
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    Workbench w(options(state.path()));
    QSignalSpy health(&w, &Workbench::journalHealthChanged);
    recover(w, false);
    measureNth(w, 0);
    w.flushJournal();
    const QString path = w.journal()->path();

    disk.fill();
    // More than the slack of the journal's last page.
    for (int i = 1; i < 60; ++i) {
        measureNth(w, i);
        w.flushJournal();
    }
    waitFor("the journal to say it cannot write", [&] { return !w.journalHealthy(); });
    ASSERT_EQ(health.count(), 1);
    EXPECT_FALSE(health.at(0).at(0).toBool());
    // Whatever could not be written, what is there reads whole.
    const journal::ReadResult meanwhile = readJournal(path);
    EXPECT_EQ(meanwhile.status, journal::ReadResult::Status::Ok) << meanwhile.detail;
    EXPECT_GE(meanwhile.state.session.points().size(), 1u);

    disk.free();
    waitFor("the journal to write again", [&] { return w.journalHealthy(); });
    ASSERT_EQ(health.count(), 2);
    EXPECT_TRUE(health.at(1).at(0).toBool());
    measureNth(w, 60);
    w.undo();
    measureNth(w, 61);
    w.flushJournal();
    EXPECT_EQ(w.journal()->path(), path);
    const journal::ReadResult after = readJournal(path);
    ASSERT_EQ(after.status, journal::ReadResult::Status::Ok) << after.detail;
    EXPECT_EQ(after.state, w.journalState());
    EXPECT_EQ(after.state.session.points().size(), 61u);
}

// A protocol opened while the disk is full: the old work's journal goes (the
// student saved it or let it go), the opened work's cannot be written, and
// what the disk holds meanwhile is never a journal of mixed or half records.
TEST_F(Recovery, ProtocolOpenedOnAFullDiskLeavesTheJournalReadable)
{
    SmallDisk disk(state.path());
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("%1: x=1.000см y=1.000см phi=4.573 В\r\n").arg(i);
    const QString protocol = spare.filePath(QStringLiteral("p.txt"));
    writeFile(protocol, text.toUtf8());

    Workbench w(options(state.path()));
    recover(w, false);
    measureNth(w, 0);
    measureNth(w, 1);
    w.flushJournal();

    disk.fill();
    w.open(protocol);
    measureNth(w, 2);
    w.flushJournal();
    waitFor("the journal to say it cannot write", [&] { return !w.journalHealthy(); });
    for (const QFileInfo& file :
         QDir(state.path()).entryInfoList({QStringLiteral("*.journal*")}, QDir::Files | QDir::Hidden)) {
        if (file.size() == 0)
            continue;
        const journal::ReadResult meanwhile = readJournal(file.filePath());
        EXPECT_EQ(meanwhile.status, journal::ReadResult::Status::Ok) << qPrintable(file.fileName()) << ": " << meanwhile.detail;
        EXPECT_EQ(meanwhile.state.session.points().size(), 201u) << qPrintable(file.fileName());
    }

    disk.free();
    waitFor("the journal to hold the opened protocol", [&] {
        w.flushJournal();
        return w.journal() && readJournal(w.journal()->path()).state == w.journalState();
    });
    EXPECT_EQ(w.session().points().size(), 201u);
    waitFor("the journal to say it writes again", [&] { return w.journalHealthy(); });
}

// ---- Where the journal goes ----

// The state folder cannot take a journal: it goes to the fallback folder, and
// the next start finds it there.
TEST_F(Recovery, FolderThatCannotTakeTheJournalFallsBack)
{
    struct Case {
        const char* name;
        // Makes the state folder unusable under `dir`; returns it.
        std::function<QString(const QString& dir, std::optional<SmallDisk>& disk)> make;
    };
    const Case cases[] = {
        {"RegularFile",
         [](const QString& dir, std::optional<SmallDisk>&) {
             const QString file = dir + QStringLiteral("/potencor");
             writeFile(file, "a file, not a folder");
             return file;
         }},
        {"ReadOnly",
         [](const QString& dir, std::optional<SmallDisk>& disk) {
             disk.emplace(dir, MS_RDONLY);
             return disk->mounted() ? dir : QString();
         }},
        {"Full",
         [](const QString& dir, std::optional<SmallDisk>& disk) {
             disk.emplace(dir);
             if (!disk->mounted())
                 return QString();
             disk->fill();
             return dir;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        [&] {
            QTemporaryDir dir;
            QTemporaryDir fallback;
            const QString spareFolder = fallback.filePath(QStringLiteral("potencor"));
            std::optional<SmallDisk> disk;
            const QString stateFolder = c.make(dir.path(), disk);
            if (stateFolder.isEmpty()) {
                std::printf("skipped %s: cannot mount a tmpfs here\n", c.name);
                return;
            }
            offers.clear();
            {
                Workbench w(options(stateFolder, {spareFolder}));
                QSignalSpy health(&w, &Workbench::journalHealthChanged);
                recover(w, false);
                ASSERT_NE(w.journal(), nullptr);
                measureNth(w, 0);
                w.flushJournal();
                QTest::qWait(0); // the writer's reports
                EXPECT_TRUE(w.journal()->path().startsWith(spareFolder + u'/')) << w.journal()->path().toStdString();
                EXPECT_TRUE(w.journalHealthy());
                for (const QList<QVariant>& emitted : health)
                    EXPECT_TRUE(emitted.at(0).toBool()) << "the notice flashed";
                crash(w);
            }
            Workbench next(options(stateFolder, {spareFolder}));
            recover(next, true);
            ASSERT_EQ(offers.size(), 1u);
            EXPECT_EQ(next.session().points().size(), 1u);
            EXPECT_TRUE(unreadable.empty());
        }();
    }
}

// No folder takes the journal: the work goes on, the journal says so, and it
// starts by itself once a folder does.
TEST_F(Recovery, NoFolderTakesTheJournalUntilOneDoes)
{
    const QString blocked = state.filePath(QStringLiteral("potencor"));
    const QString alsoBlocked = spare.filePath(QStringLiteral("potencor"));
    writeFile(blocked, "a file");
    writeFile(alsoBlocked, "a file");
    Workbench w(options(blocked, {alsoBlocked}));
    QSignalSpy health(&w, &Workbench::journalHealthChanged);
    recover(w, false);
    EXPECT_FALSE(w.journalHealthy());
    ASSERT_EQ(health.count(), 1);
    measureNth(w, 0);

    QFile::remove(alsoBlocked);
    waitFor("the journal to start", [&] { return w.journalHealthy(); });
    EXPECT_TRUE(w.journal()->path().startsWith(alsoBlocked + u'/'));
    measureNth(w, 1);
    crash(w);
    Workbench next(options(blocked, {alsoBlocked}));
    recover(next, true);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(next.session().points().size(), 2u);
}

// ---- What else a folder may hold ----

// Links, FIFOs and devices are never opened as journals: they would block the
// start for good or fill the memory. A lock that is a folder with files in it
// keeps its journal from being offered, but nothing is lost; an empty one
// goes. A rewrite cut short leaves its new snapshot beside the journal: whole,
// it is the newer state; cut, it goes.
TEST_F(Recovery, OddFilesLeftBehindAreHandledWithoutLosingWork)
{
    const QByteArray two = journalOf(2);
    const QByteArray three = journalOf(3);
    struct Case {
        const char* name;
        std::function<void(const QString& dir, const QString& other)> make;
        qsizetype offered; // -1: nothing offered
        std::optional<Why> why;
        QStringList left; // the folder's entries afterwards
    };
    const QString name = QStringLiteral("session-1-1.journal");
    const Case cases[] = {
        {"LinkToAFifo",
         [&](const QString& dir, const QString& other) {
             ASSERT_EQ(::mkfifo(native(other + QStringLiteral("/fifo")).c_str(), 0600), 0);
             ASSERT_EQ(::symlink(native(other + QStringLiteral("/fifo")).c_str(), native(dir + u'/' + name).c_str()), 0);
         },
         -1, Why::NotAJournal, {name + QStringLiteral(".unreadable-*")}},
        {"Fifo",
         [&](const QString& dir, const QString&) {
             ASSERT_EQ(::mkfifo(native(dir + u'/' + name).c_str(), 0600), 0);
         },
         -1, Why::NotAJournal, {name + QStringLiteral(".unreadable-*")}},
        {"LinkToZeros",
         [&](const QString& dir, const QString&) {
             ASSERT_EQ(::symlink("/dev/zero", native(dir + u'/' + name).c_str()), 0);
         },
         -1, Why::NotAJournal, {name + QStringLiteral(".unreadable-*")}},
        {"LinkToAJournal",
         [&](const QString& dir, const QString& other) {
             writeFile(other + QStringLiteral("/j"), two);
             ASSERT_EQ(::symlink(native(other + QStringLiteral("/j")).c_str(), native(dir + u'/' + name).c_str()), 0);
         },
         -1, Why::NotAJournal, {name + QStringLiteral(".unreadable-*")}},
        {"EmptyFolderForALock",
         [&](const QString& dir, const QString&) {
             writeFile(dir + u'/' + name, two);
             ASSERT_TRUE(QDir(dir).mkdir(name + QStringLiteral(".lock")));
         },
         2, std::nullopt, {}},
        {"FolderWithAFileForALock",
         [&](const QString& dir, const QString&) {
             writeFile(dir + u'/' + name, two);
             ASSERT_TRUE(QDir(dir).mkdir(name + QStringLiteral(".lock")));
             writeFile(dir + u'/' + name + QStringLiteral(".lock/x"), "x");
         },
         -1, Why::LockInTheWay, {name, name + QStringLiteral(".lock")}},
        {"WholeRewriteBeside",
         [&](const QString& dir, const QString&) {
             writeFile(dir + u'/' + name, two);
             writeFile(dir + u'/' + name + QStringLiteral(".new"), three);
         },
         3, std::nullopt, {}},
        {"CutRewriteBeside",
         [&](const QString& dir, const QString&) {
             writeFile(dir + u'/' + name, two);
             writeFile(dir + u'/' + name + QStringLiteral(".new"), three.left(40));
         },
         2, std::nullopt, {}},
        {"WholeRewriteAlone",
         [&](const QString& dir, const QString&) { writeFile(dir + u'/' + name + QStringLiteral(".new"), three); },
         3, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        [&] {
            QTemporaryDir dir;
            QTemporaryDir other;
            c.make(dir.path(), other.path());
            offers.clear();
            unreadable.clear();

            // A reader stuck on a FIFO is let go after a while: the test then fails
            // instead of hanging.
            std::atomic<bool> done{false};
            std::atomic<bool> rescued{false};
            std::thread watchdog([&] {
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!done && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                while (!done) {
                    for (const QString& fifo : {other.filePath(QStringLiteral("fifo")), dir.filePath(name)}) {
                        const int fd = ::open(native(fifo).c_str(), O_WRONLY | O_NONBLOCK);
                        if (fd >= 0) {
                            rescued = true;
                            ::close(fd);
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
            Workbench w(options(dir.path()));
            recover(w, true);
            done = true;
            watchdog.join();
            EXPECT_FALSE(rescued) << "the start waited on a FIFO";

            if (c.offered < 0) {
                EXPECT_TRUE(offers.empty());
            } else {
                ASSERT_EQ(offers.size(), 1u);
                EXPECT_EQ(offers[0].points, c.offered);
                EXPECT_FALSE(offers[0].damaged);
            }
            EXPECT_EQ(w.session().points().size(), static_cast<std::size_t>(std::max<qsizetype>(c.offered, 0)));
            if (c.why) {
                ASSERT_EQ(unreadable.size(), 1u);
                EXPECT_EQ(unreadable[0].why, *c.why);
                EXPECT_EQ(unreadable[0].path, dir.filePath(name));
            } else {
                EXPECT_TRUE(unreadable.empty());
            }
            w.flushJournal(); // this run's own journal is on its way
            EXPECT_EQ(entries(dir.path(), w), c.left);
        }();
    }
}

// A whole journal the user may not read is not damaged: it is said so, and
// the file stays as it is, to be restored once it can be read.
TEST_F(Recovery, JournalTheUserCannotReadIsLeftAsItIs)
{
    if (!AsNobody::works())
        GTEST_SKIP() << "needs root to be seen as another user";
    const QByteArray two = journalOf(2);
    ASSERT_EQ(::chown(native(state.path()).c_str(), 65534, 65534), 0);
    const QString left = state.filePath(QStringLiteral("session-1-1.journal"));
    writeFile(left, two);
    ASSERT_EQ(::chown(native(left).c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(native(left).c_str(), 0), 0);
    {
        const AsNobody nobody;
        Workbench w(options(state.path()));
        recover(w, true);
        EXPECT_TRUE(offers.empty());
        ASSERT_EQ(unreadable.size(), 1u);
        EXPECT_EQ(unreadable[0].why, Why::CannotRead);
        EXPECT_EQ(unreadable[0].reason, QStringLiteral("Permission denied"));
        EXPECT_EQ(unreadable[0].path, left);
        w.flushJournal();
        EXPECT_EQ(entries(state.path(), w), QStringList{QStringLiteral("session-1-1.journal")});
    }
    EXPECT_EQ(readAll(left), two);
    ASSERT_EQ(::chmod(native(left).c_str(), 0600), 0);
    unreadable.clear();
    Workbench next(options(state.path()));
    recover(next, true);
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_EQ(next.session().points().size(), 2u);
}

// ---- When changes reach the disk ----

// The window's thread busy and changes coming all the time: the first of them
// is on the disk within the promised time all the same.
TEST_F(Recovery, ChangesReachTheDiskWhileTheWindowIsBusy)
{
    Workbench w(options(state.path()));
    recover(w, false);
    measureNth(w, 0);
    w.flushJournal();
    const QString path = w.journal()->path();
    const auto first = std::chrono::steady_clock::now();
    measureNth(w, 1);
    // No event is handled meanwhile: the window is busy.
    for (int i = 2; std::chrono::steady_clock::now() - first < std::chrono::milliseconds(RecoveryJournal::kFlushDelayMs + 300);
         ++i) {
        QThread::msleep(50);
        measureNth(w, i);
    }
    const journal::ReadResult r = readJournal(path);
    ASSERT_EQ(r.status, journal::ReadResult::Status::Ok) << r.detail;
    EXPECT_GE(r.state.session.points().size(), 2u) << "the first unsaved change is not on the disk";
}

} // namespace
} // namespace potencor::work
