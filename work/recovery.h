#pragma once
// The recovery journal on disk: one file per running copy of the program in
// the user's state folder, appended to within a second of every change and
// removed when the program ends normally. What a crash or a power cut leaves
// behind is offered back at the next start.
#include "core/journal.h"

#include <QDateTime>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTextDocument;

namespace potencor::work {

// $XDG_STATE_HOME/potencor (~/.local/state/potencor): where the journals live.
QString stateDirectory();

class JournalWriter;

class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    // Changes reach the disk at most this long after they were made.
    static constexpr int kFlushDelayMs = 1000;

    explicit RecoveryJournal(const QString& directory, QObject* parent = nullptr);
    ~RecoveryJournal() override; // waits for the disk; the file stays

    // Where the whole state comes from when the journal is rewritten.
    std::function<journal::State()> stateSource;

    // Creates this run's journal with the state as its snapshot, on its way
    // to the disk. False when the folder or the lock cannot be made: the
    // program then runs without a journal.
    bool start();
    bool active() const { return writer_ != nullptr; }
    QString path() const { return path_; }

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

    // The protocol box's text as the journal keeps it ('\n' between lines).
    static std::u16string journalText(const QTextDocument* document);

    // Journals of copies of the program that ended without removing theirs,
    // newest first. Each is locked for this copy until the entry goes away, so
    // two copies starting together never both take one; a running copy's
    // journal is never among them.
    struct LeftBehind {
        QString path;
        QDateTime modified;
        std::unique_ptr<QLockFile> lock;
    };
    static std::vector<LeftBehind> leftBehind(const QString& directory);
    // Removes a journal that was restored or declined, with its lock.
    static void discard(LeftBehind& journal);
    // Renames a journal that cannot be read, so that it is kept but never
    // offered again; returns the new path (empty when renaming failed).
    static QString keepAside(LeftBehind& journal);

private:
    void rewrite();

    QString directory_;
    QString path_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<JournalWriter> writer_;
    std::string pending_;
    std::size_t appendedSinceSnapshot_ = 0; // bytes
    std::size_t snapshotBytes_ = 0;
    QTimer timer_;
    int documentChars_ = 0; // the recorded document's length, to mend Qt's change reports
};

} // namespace potencor::work
