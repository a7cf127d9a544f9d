#pragma once
// The recovery journal on disk: one file per running copy of the program in
// the user's state folder (or, when that cannot take it, in a fallback
// folder), appended to within a second of every change and removed when the
// program ends normally. What a crash or a power cut leaves behind is offered
// back at the next start.
#include "core/journal.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTextDocument;

namespace potencor::work {

// $XDG_STATE_HOME/potencor (~/.local/state/potencor): where the journals live.
QString stateDirectory();
// Where a journal goes when the state folder cannot take one (not a folder,
// not writable, full), in this order: $XDG_CACHE_HOME/potencor
// (~/.cache/potencor), then $XDG_RUNTIME_DIR/potencor, which is in memory: it
// outlives a crash of the program, not a power cut.
QStringList fallbackDirectories();

class JournalWriter;

class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    // Changes reach the disk at most this long after the first of them was
    // made: they are gathered for kGatherMs (typing is not written per key),
    // the rest is the disk's. The writer's thread keeps the time, so a busy
    // window delays nothing.
    static constexpr int kFlushDelayMs = 1000;
    static constexpr int kGatherMs = 400;
    // While the journal cannot write, a fresh snapshot is tried this often.
    static constexpr int kRetryMs = 1000;

    // The journal goes in the first of the folders that takes it.
    explicit RecoveryJournal(const QStringList& directories, QObject* parent = nullptr);
    ~RecoveryJournal() override; // waits for the disk; the file stays

    // A new journal file's bytes, the header and a snapshot of the whole
    // state (journal::SnapshotBuilder), whenever the journal starts or is
    // rewritten.
    std::function<std::string()> snapshotSource;

    // Creates this run's journal with the state as its snapshot, on its way
    // to the disk, in the first folder where the folder and the lock can be
    // made. False when none takes it: the journal then tries again every
    // kRetryMs, as it does after any failed write. `snapshot`, when given,
    // is snapshotSource()'s bytes made already.
    bool start(std::string snapshot = {});
    // The journal's file; empty while no folder takes it.
    QString path() const { return path_; }
    // The journal keeps the work: its writes reach the disk (none has
    // failed since the last that did).
    bool healthy() const { return healthy_; }
    // The last write that was handed over reached the disk.
    bool onDisk() const;

    // A change, written within kFlushDelayMs.
    void record(std::string bytes);
    // Everything recorded so far, on its way to the disk now; wait() also
    // waits until it is there (or the write failed).
    void flush();
    void flushAndWait();
    // A new snapshot of the whole state now, in place of everything recorded
    // (after the session was replaced as a whole).
    void rewriteNow();
    // The normal end: the journal and its lock are removed.
    void remove();

    // Records every change of the document (the protocol box's text).
    void recordEdits(QTextDocument* document);

    // Journals of copies of the program that ended without removing theirs,
    // in all the folders, newest first. Each is locked for this copy until the
    // entry goes away, so two copies starting together never both take one; a
    // running copy's journal is never among them. A rewrite cut short by the
    // end of its program is settled first: a complete snapshot beside the
    // journal (".new") is the newer state and takes the journal's place, an
    // incomplete one goes.
    struct LeftBehind {
        QString path;
        QDateTime modified;
        std::unique_ptr<QLockFile> lock;
        // The lock's name is taken by something that is not a file (a folder
        // with files in it): the journal cannot be locked, so it is left alone.
        bool lockInTheWay = false;
    };
    static std::vector<LeftBehind> leftBehind(const QStringList& directories);
    // Removes a journal that was restored or declined, with its lock.
    static void discard(LeftBehind& journal);
    // Renames a journal that cannot be read whole, so that it is kept but
    // never offered again; returns the new path (empty when renaming failed).
    static QString keepAside(LeftBehind& journal);

signals:
    // Every outcome of the writer that differs from its last: whether the
    // journal's writes reach the disk.
    void healthChanged(bool healthy);

private:
    bool open(int directory, std::string& snapshot);
    void close();
    void rewrite();
    void retry();
    void writerReported(quint64 generation, bool ok, int error);

    QStringList directories_;
    int directory_ = -1; // of directories_, while a writer runs
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<JournalWriter> writer_;
    quint64 generation_ = 0; // of writer_, so that a report of an earlier one is not taken for its
    bool written_ = false;   // something of this file reached the disk
    bool healthy_ = true;
    std::size_t appendedSinceSnapshot_ = 0; // bytes
    std::size_t snapshotBytes_ = 0;
    QTimer rewriteTimer_;
    QTimer retryTimer_;
    int documentChars_ = 0; // the recorded document's length, to mend Qt's change reports
};

} // namespace potencor::work
