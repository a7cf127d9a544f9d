#include "work/recovery.h"

#include "core/file_io.h"
#include "core/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace potencor::work {

QString stateDirectory()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    return QStandardPaths::writableLocation(QStandardPaths::GenericStateLocation) + QStringLiteral("/potencor");
#else
    // This Qt has no state location yet: the XDG rule it later follows.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/potencor");
#endif
}

QStringList fallbackDirectories()
{
    QStringList found;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty())
        found << cache + QStringLiteral("/potencor");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        found << runtime + QStringLiteral("/potencor");
    return found;
}

namespace {

std::string nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

} // namespace

// Writes on a thread of its own: whole new files and appended records, in
// order. Every write is synced, so that what was handed over survives a power
// cut. A failed write leaves the file as it was before it (no half record for
// later ones to follow), and nothing is appended again until a new snapshot
// has reached the disk.
class JournalWriter {
public:
    using Clock = std::chrono::steady_clock;
    // Whether the writes reach the disk, each time that changes; from the
    // writer's thread.
    using Report = std::function<void(bool ok, int error)>;

    // The first version of the file goes first, like any other write: the
    // window does not wait for the disk at start-up either.
    JournalWriter(std::string path, std::string snapshot, Report report)
        : path_(std::move(path)), report_(std::move(report)), snapshot_(std::move(snapshot))
    {
        thread_ = std::thread([this] { run(); });
    }
    // Writes what it was given first.
    ~JournalWriter()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }

    // Gathered for kGatherMs from the first record not yet written.
    void append(std::string bytes)
    {
        const std::lock_guard lock(mutex_);
        const bool first = records_.empty();
        records_ += bytes;
        // Later records are written when the first one's time comes, which
        // the writer waits for already: waking it for each would cost a
        // switch of threads per record, only for it to wait again.
        if (first) {
            gatheredSince_ = Clock::now();
            wake_.notify_one();
        }
    }
    // A whole new file, in place of everything handed over before it.
    void replace(std::string bytes)
    {
        const std::lock_guard lock(mutex_);
        snapshot_ = std::move(bytes);
        std::string().swap(records_); // its memory too: a burst of records can make it large
        wake_.notify_one();
    }
    // What was gathered goes now.
    void flush()
    {
        const std::lock_guard lock(mutex_);
        urgent_ = true;
        wake_.notify_one();
    }
    // Nothing that was handed over is written any more.
    void abandon()
    {
        const std::lock_guard lock(mutex_);
        snapshot_.reset();
        records_.clear();
    }
    void wait()
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return idle(); });
    }
    bool isIdle()
    {
        const std::lock_guard lock(mutex_);
        return idle();
    }
    bool onDisk() const { return state_ == kOk; }

private:
    enum State { kUnknown, kFailing, kOk };
    static constexpr std::size_t kLargeWriteBytes = std::size_t{1} << 20;

    bool idle() const { return !snapshot_ && records_.empty() && !busy_; }

    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!snapshot_ && records_.empty()) {
                urgent_ = false;
                if (stopping_)
                    return;
                wake_.wait(lock);
                continue;
            }
            if (!snapshot_ && !urgent_ && !stopping_) {
                const Clock::time_point due = gatheredSince_ + std::chrono::milliseconds(RecoveryJournal::kGatherMs);
                if (Clock::now() < due) {
                    wake_.wait_until(lock, due);
                    continue;
                }
            }
            std::optional<std::string> snapshot;
            std::string records;
            if (snapshot_)
                snapshot.swap(snapshot_);
            else
                records.swap(records_);
            busy_ = true;
            lock.unlock();
            const bool ok = snapshot ? writeSnapshot(*snapshot) : appendRecords(records);
            const int error = errno;
            const State now = ok ? kOk : kFailing;
            if (state_.exchange(now) != now)
                report_(ok, error);
            // A large write (a snapshot of a long protocol, a burst of
            // records) leaves as much freed: back to the system with it.
            const bool large = (snapshot ? snapshot->capacity() : records.capacity()) >= kLargeWriteBytes;
            snapshot.reset();
            std::string().swap(records);
            if (large)
                platform::returnFreeMemory();
            lock.lock();
            busy_ = false;
            if (idle())
                idle_.notify_all();
        }
    }

    // A new file beside the old one, synced, then renamed over it: the
    // journal is always either the old or the new one, whole.
    bool writeSnapshot(const std::string& bytes)
    {
        files::Fd file = files::replaceVia(path_, ".new", bytes, files::Sync::Data);
        if (file.get() < 0)
            return false;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = file.release(); // opened for writing at its end, which is where appends go
        length_ = static_cast<off_t>(bytes.size());
        return true;
    }

    bool appendRecords(const std::string& bytes)
    {
        // After a failure the records have a gap: only a new snapshot goes on.
        if (fd_ < 0 || state_ == kFailing) {
            errno = EIO;
            return false;
        }
        if (files::writeSynced(fd_, bytes, files::Sync::Data)) {
            length_ += static_cast<off_t>(bytes.size());
            return true;
        }
        const int error = errno;
        // What part of it was written goes again: a half record followed by
        // the whole ones of a later snapshot's time would read as damage.
        if (::ftruncate(fd_, length_) != 0 || ::lseek(fd_, length_, SEEK_SET) != length_) {
        } // the file then ends in a torn record, which a reader drops
        errno = error;
        return false;
    }

    const std::string path_;
    const Report report_;
    int fd_ = -1;
    off_t length_ = 0; // of the file, up to its last whole write
    std::atomic<State> state_{kUnknown};
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<std::string> snapshot_;
    std::string records_;
    Clock::time_point gatheredSince_;
    bool urgent_ = false;
    bool busy_ = false;
    bool stopping_ = false;
};

RecoveryJournal::RecoveryJournal(const QStringList& directories, QObject* parent)
    : QObject(parent), directories_(directories)
{
    // Between two steps of the work, never inside one: a snapshot taken
    // inside a step would have the step's later records applied twice.
    rewriteTimer_.setSingleShot(true);
    rewriteTimer_.setInterval(0);
    connect(&rewriteTimer_, &QTimer::timeout, this, &RecoveryJournal::flush);
    retryTimer_.setInterval(kRetryMs);
    connect(&retryTimer_, &QTimer::timeout, this, &RecoveryJournal::retry);
}

RecoveryJournal::~RecoveryJournal()
{
    if (writer_)
        flush();
    writer_.reset(); // its thread reports to this object: it ends first
}

bool RecoveryJournal::start(std::string snapshot)
{
    for (int i = 0; i < directories_.size(); ++i) {
        if (open(i, snapshot))
            return true;
    }
    healthy_ = false;
    emit healthChanged(false);
    retryTimer_.start();
    return false;
}

// `snapshot` is taken once a folder takes the journal; empty: made now.
bool RecoveryJournal::open(int directory, std::string& snapshot)
{
    const QString folder = directories_.value(directory);
    std::error_code error;
    std::filesystem::create_directories(nativePath(folder), error);
    if (error || !QFileInfo(folder).isDir())
        return false;
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString path = QStringLiteral("%1/session-%2-%3.journal")
                             .arg(folder)
                             .arg(QCoreApplication::applicationPid())
                             .arg(QDateTime::currentMSecsSinceEpoch());
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // only a dead owner makes a lock stale, never its age
    if (!lock->tryLock(0))
        return false; // a full disk too: the lock file's few bytes do not fit
    if (directory > 0)
        std::fprintf(stderr, "potencor: the recovery journal is in %s\n", nativePath(folder).c_str());
    std::string bytes = snapshot.empty() ? snapshotSource() : std::move(snapshot);
    snapshotBytes_ = bytes.size();
    appendedSinceSnapshot_ = 0;
    directory_ = directory;
    path_ = path;
    lock_ = std::move(lock);
    written_ = false;
    const quint64 generation = ++generation_;
    writer_ = std::make_unique<JournalWriter>(nativePath(path), std::move(bytes), [this, generation](bool ok, int error) {
        QMetaObject::invokeMethod(
            this, [this, generation, ok, error] { writerReported(generation, ok, error); }, Qt::QueuedConnection);
    });
    return true;
}

void RecoveryJournal::close()
{
    if (writer_) {
        writer_->abandon();
        writer_.reset();
    }
    if (!path_.isEmpty())
        QFile::remove(path_);
    lock_.reset(); // unlocking removes the lock file
    path_.clear();
    directory_ = -1;
}

void RecoveryJournal::writerReported(quint64 generation, bool ok, int error)
{
    if (generation != generation_ || !writer_)
        return;
    if (ok) {
        written_ = true;
        retryTimer_.stop();
        healthy_ = true;
        emit healthChanged(true);
        return;
    }
    std::fprintf(stderr, "potencor: cannot write the recovery journal %s: %s\n", nativePath(path_).c_str(),
                 files::errorText(error).c_str());
    if (!written_) {
        // Nothing of it is on any disk yet: a folder further on may take it.
        const int failed = directory_;
        close();
        for (int i = failed + 1; i < directories_.size(); ++i) {
            std::string snapshot;
            if (open(i, snapshot))
                return;
        }
    }
    healthy_ = false;
    emit healthChanged(false);
    retryTimer_.start();
}

void RecoveryJournal::retry()
{
    if (!writer_) {
        for (int i = 0; i < directories_.size(); ++i) {
            std::string snapshot;
            if (open(i, snapshot))
                return; // its first write tells how it went
        }
        return;
    }
    if (writer_->isIdle()) // else the last try is still on its way
        rewrite();
}

bool RecoveryJournal::onDisk() const { return writer_ && writer_->isIdle() && writer_->onDisk(); }

void RecoveryJournal::record(std::string bytes)
{
    if (!writer_)
        return; // the snapshot of the next try holds it
    appendedSinceSnapshot_ += bytes.size();
    writer_->append(std::move(bytes));
    // Records grow the file; once they outweigh the snapshot, one new
    // snapshot replaces them all, so reading a journal back stays quick.
    constexpr std::size_t kMinRewriteBytes = std::size_t{1} << 20;
    if (appendedSinceSnapshot_ > std::max(kMinRewriteBytes, snapshotBytes_) && !rewriteTimer_.isActive())
        rewriteTimer_.start();
}

void RecoveryJournal::flush()
{
    if (!writer_)
        return;
    if (rewriteTimer_.isActive()) {
        rewriteTimer_.stop();
        rewrite();
        return;
    }
    writer_->flush();
}

void RecoveryJournal::rewriteNow()
{
    rewriteTimer_.stop();
    if (writer_)
        rewrite();
}

void RecoveryJournal::rewrite()
{
    std::string bytes = snapshotSource();
    snapshotBytes_ = bytes.size();
    appendedSinceSnapshot_ = 0;
    writer_->replace(std::move(bytes));
}

void RecoveryJournal::flushAndWait()
{
    flush();
    if (writer_)
        writer_->wait();
}

void RecoveryJournal::remove()
{
    rewriteTimer_.stop();
    retryTimer_.stop();
    close();
}

void RecoveryJournal::recordEdits(QTextDocument* document)
{
    documentChars_ = document->characterCount() - 1;
    connect(document, &QTextDocument::contentsChange, this, [this, document](int position, int removed, int) {
        // Qt may report more than changed (a whole document replaced counts its
        // closing separator too): the lengths before and after tell the truth.
        const int before = documentChars_;
        const int after = document->characterCount() - 1;
        documentChars_ = after;
        position = std::clamp(position, 0, std::min(before, after));
        removed = std::clamp(removed, std::max(0, before - after), before - position);
        const int added = after - before + removed;
        QTextCursor c(document);
        c.setPosition(position);
        c.setPosition(position + added, QTextCursor::KeepAnchor);
        QString inserted = c.selectedText();
        inserted.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        record(journal::edit(static_cast<std::uint32_t>(position), static_cast<std::uint32_t>(removed),
                             inserted.toStdU16String()));
    });
}

namespace {

// A rewrite killed between writing the new snapshot and renaming it over the
// journal leaves it beside the journal: whole, it is the newer state.
void settleRewrite(const QString& path)
{
    const std::string next = nativePath(path + QStringLiteral(".new"));
    struct stat st{};
    if (::lstat(next.c_str(), &st) != 0)
        return;
    const files::ReadResult file = files::readBounded(next, journal::kMaxBytes, files::Accept::RegularFile);
    if (file.status == files::ReadResult::Status::CannotOpen && file.error == EACCES)
        return; // not ours to judge
    if (file.status == files::ReadResult::Status::Ok) {
        const journal::ReadResult read = journal::read(file.bytes);
        if (read.status == journal::ReadResult::Status::Ok && !read.tornTail
            && ::rename(next.c_str(), nativePath(path).c_str()) == 0)
            return;
    }
    ::unlink(next.c_str());
}

} // namespace

std::vector<RecoveryJournal::LeftBehind> RecoveryJournal::leftBehind(const QStringList& directories)
{
    std::vector<LeftBehind> found;
    for (const QString& directory : directories) {
        const QDir dir(directory);
        // Whatever has a journal's name, links and special files too: what it
        // is shows when it is opened, which never follows a link or waits.
        QStringList names = dir.entryList({QStringLiteral("*.journal"), QStringLiteral("*.journal.new")},
                                          QDir::Files | QDir::System | QDir::Hidden);
        for (QString& name : names) {
            if (name.endsWith(QStringLiteral(".new")))
                name.chop(4);
        }
        names.removeDuplicates();
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            const QString lockPath = path + QStringLiteral(".lock");
            struct stat st{};
            if (::lstat(nativePath(lockPath).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
                // A folder with nothing in it holds nothing: it goes. Anything
                // else stays, and so does the journal, unlocked and untouched.
                if (!S_ISDIR(st.st_mode) || ::rmdir(nativePath(lockPath).c_str()) != 0) {
                    found.push_back({path, QFileInfo(path).lastModified(), nullptr, true});
                    continue;
                }
            }
            auto lock = std::make_unique<QLockFile>(lockPath);
            lock->setStaleLockTime(0);
            if (!lock->tryLock(0))
                continue; // a running copy's
            settleRewrite(path);
            if (::lstat(nativePath(path).c_str(), &st) != 0)
                continue;
            found.push_back({path, QDateTime::fromMSecsSinceEpoch(qint64{st.st_mtim.tv_sec} * 1000 + st.st_mtim.tv_nsec / 1'000'000),
                             std::move(lock)});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const LeftBehind& a, const LeftBehind& b) { return a.modified > b.modified; });
    return found;
}

void RecoveryJournal::discard(LeftBehind& journal)
{
    QFile::remove(journal.path);
    journal.lock.reset();
}

QString RecoveryJournal::keepAside(LeftBehind& journal)
{
    const QString aside = journal.path + QStringLiteral(".unreadable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // The name itself, whatever it is: a link is not followed, a FIFO not opened.
    const bool renamed = ::rename(nativePath(journal.path).c_str(), nativePath(aside).c_str()) == 0;
    journal.lock.reset();
    return renamed ? aside : QString();
}

} // namespace potencor::work
