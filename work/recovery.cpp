#include "work/recovery.h"

#include "core/file_io.h"
#include "core/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
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

// Writes on a thread of its own: appends and whole rewrites, in order. Every
// write is synced, so that what was handed over survives a power cut.
class JournalWriter {
public:
    explicit JournalWriter(std::string path) : path_(std::move(path)) {}
    ~JournalWriter()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }

    // The first version of the file goes first, like any other write: the
    // window does not wait for the disk at start-up either.
    void create(std::string bytes)
    {
        replace(std::move(bytes));
        thread_ = std::thread([this] { run(); });
    }

    void append(std::string bytes) { push({false, std::move(bytes)}); }
    void replace(std::string bytes) { push({true, std::move(bytes)}); }

    void wait()
    {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }

private:
    struct Job {
        bool replace;
        std::string bytes;
    };
    static constexpr std::size_t kLargeWriteBytes = std::size_t{1} << 20;

    void push(Job job)
    {
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty())
                return; // stopping, and everything written
            Job job = std::move(jobs_.front());
            jobs_.pop_front();
            // Appends that queued up while the disk was busy go out as one
            // write, joined after the lock is let go: the window never waits.
            std::vector<std::string> more;
            while (!job.replace && !jobs_.empty() && !jobs_.front().replace) {
                more.push_back(std::move(jobs_.front().bytes));
                jobs_.pop_front();
            }
            busy_ = true;
            lock.unlock();
            for (const std::string& bytes : more)
                job.bytes += bytes;
            if (!(job.replace ? replaceFile(job.bytes) : appendFile(job.bytes)))
                complain();
            // A large write (a snapshot of a long protocol, a burst of
            // records) leaves as much freed: back to the system with it.
            const bool large = job.bytes.capacity() >= kLargeWriteBytes;
            job = {};
            more.clear();
            if (large)
                platform::returnFreeMemory();
            lock.lock();
            busy_ = false;
            if (jobs_.empty())
                idle_.notify_all();
        }
    }

    bool appendFile(const std::string& bytes)
    {
        return fd_ >= 0 && files::writeSynced(fd_, bytes, files::Sync::Data);
    }

    // A new file beside the old one, synced, then renamed over it: the
    // journal is always either the old or the new one, whole.
    bool replaceFile(const std::string& bytes)
    {
        files::Fd file = files::replaceVia(path_, ".new", bytes, files::Sync::Data);
        if (file.get() < 0)
            return false;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = file.release(); // opened for writing at its end, which is where appends go
        return true;
    }

    void complain()
    {
        if (!complained_.exchange(true))
            std::fprintf(stderr, "potencor: cannot write the recovery journal %s: %s\n", path_.c_str(),
                         std::strerror(errno));
    }

    const std::string path_;
    int fd_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::atomic<bool> complained_{false};
};

RecoveryJournal::RecoveryJournal(const QString& directory, QObject* parent)
    : QObject(parent), directory_(directory)
{
    timer_.setSingleShot(true);
    timer_.setInterval(kFlushDelayMs);
    connect(&timer_, &QTimer::timeout, this, &RecoveryJournal::flush);
}

RecoveryJournal::~RecoveryJournal()
{
    if (writer_)
        flush();
}

bool RecoveryJournal::start()
{
    if (!QDir().mkpath(directory_))
        return false;
    QFile::setPermissions(directory_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    path_ = QStringLiteral("%1/session-%2-%3.journal")
                .arg(directory_)
                .arg(QCoreApplication::applicationPid())
                .arg(QDateTime::currentMSecsSinceEpoch());
    lock_ = std::make_unique<QLockFile>(path_ + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0); // only a dead owner makes a lock stale, never its age
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    std::string bytes = journal::header() + journal::snapshot(stateSource());
    snapshotBytes_ = bytes.size();
    appendedSinceSnapshot_ = 0;
    writer_ = std::make_unique<JournalWriter>(QFile::encodeName(path_).toStdString());
    writer_->create(std::move(bytes));
    return true;
}

void RecoveryJournal::record(std::string bytes)
{
    if (!writer_)
        return;
    pending_ += bytes;
    if (!timer_.isActive())
        timer_.start();
}

void RecoveryJournal::flush()
{
    timer_.stop();
    if (!writer_ || pending_.empty())
        return;
    // Records grow the file; once they outweigh the snapshot, one new
    // snapshot replaces them all, so reading a journal back stays quick.
    constexpr std::size_t kMinRewriteBytes = std::size_t{1} << 20;
    if (appendedSinceSnapshot_ + pending_.size() > std::max(kMinRewriteBytes, snapshotBytes_)) {
        rewrite();
        return;
    }
    appendedSinceSnapshot_ += pending_.size();
    writer_->append(std::move(pending_));
    pending_.clear();
}

void RecoveryJournal::rewriteNow()
{
    timer_.stop();
    if (writer_)
        rewrite();
}

void RecoveryJournal::rewrite()
{
    std::string().swap(pending_); // its memory too: a burst of records can make it large
    std::string bytes = journal::header() + journal::snapshot(stateSource());
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
    timer_.stop();
    pending_.clear();
    writer_.reset();
    if (!path_.isEmpty())
        QFile::remove(path_);
    lock_.reset(); // unlocking removes the lock file
}

std::u16string RecoveryJournal::journalText(const QTextDocument* document)
{
    QString text = document->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text.toStdU16String();
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

std::vector<RecoveryJournal::LeftBehind> RecoveryJournal::leftBehind(const QString& directory)
{
    std::vector<LeftBehind> found;
    const QFileInfoList files =
        QDir(directory).entryInfoList({QStringLiteral("*.journal")}, QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo& file : files) {
        auto lock = std::make_unique<QLockFile>(file.filePath() + QStringLiteral(".lock"));
        lock->setStaleLockTime(0);
        if (lock->tryLock(0))
            found.push_back({file.filePath(), file.lastModified(), std::move(lock)});
    }
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
    const bool renamed = QFile::rename(journal.path, aside);
    journal.lock.reset();
    return renamed ? aside : QString();
}

} // namespace potencor::work
