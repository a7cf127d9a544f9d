#pragma once
// The one owner of the student's work: the measurement session, the protocol
// document, the recovery journal, what was last saved and the calibration.
// It offers what a student does and tells the views what changed; the views
// never change the work themselves. Qt Core and Gui only: it runs, and is
// tested, without a window.
#include "core/calibration.h"
#include "core/journal.h"
#include "core/session.h"
#include "export/protocol_file.h"
#include "work/recovery.h"

#include <QByteArray>
#include <QDateTime>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class QTextDocument;

namespace potencor::work {

class ProtocolDocument;

class Workbench : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The recovery journal and, at start, the offer of what a crash left.
        bool recovery = true;
        // Where the journal goes; empty: the user's state folder, and
        // fallbackDirectories() when that cannot take it.
        QString stateDirectory{};
        // With a stateDirectory given: where the journal goes when that
        // cannot take it.
        QStringList fallbackDirectories{};
    };

    explicit Workbench(Options options, QObject* parent = nullptr);
    // The normal end: the journal goes (a crash never gets here).
    ~Workbench() override;

    const Session& session() const { return session_; }
    // The protocol as the student edits it; an editor shows this document.
    QTextDocument* protocol() const;
    // The protocol as the file holds it: lines joined by CR LF.
    QString protocolText() const;

    const calibration::Calibration& calibration() const { return calibration_; }
    void setCalibration(const calibration::Calibration& calibration) { calibration_ = calibration; }
    // The point of the plane at the cursor's distance from the window's
    // outer top-left corner (logical px), unsnapped: what a click there
    // would measure before snapping.
    calibration::PlaneCm planeAt(long double dxPx, long double dyPx) const;

    // ---- What a student does ----

    // A measurement at the cursor's distance from the window's outer
    // top-left corner: its line, its point and the counter. Throws
    // potencor::Error when the model or the counter fails; what was done
    // before the failure stays, as in any handler.
    Session::Change measure(long double dxPx, long double dyPx, bool snapToGrid, char32_t decimalSeparator);
    // Takes back the last point and the protocol's last line; false when
    // there was no point.
    bool undo();
    void setLabelsVisible(bool visible);

    // The protocol differs from what was last saved (or was never saved and
    // is not empty).
    bool hasUnsavedWork() const;
    // Writes `text` (the protocol as the student confirmed it for the
    // encoding) to the file; throws potencor::Error, and then the protocol
    // still counts as unsaved.
    void save(const QString& path, const QString& text, text::Encoding encoding);
    // Replaces the work with a protocol file's; throws potencor::Error and
    // changes nothing when it cannot be read. The encoding it was read in.
    text::Encoding open(const QString& path, std::optional<text::Encoding> forced = std::nullopt);

    // Opening in two steps, for a window that stays alive meanwhile: the
    // file read and parsed, on any thread (throws as open() does; empty when
    // `cancelled` said so between its stages), then the work replaced with
    // it (`progress` as ProtocolDocument::replaceText() calls it).
    struct Opening {
        QStringList text; // the protocol document's text (the file's line ends), ProtocolDocument::partsOf()
        Session session;
        text::Encoding encoding;
    };
    static std::optional<Opening> readForOpening(const QString& path, std::optional<text::Encoding> forced,
                                                 const std::function<bool()>& cancelled = {});
    text::Encoding open(Opening opening, const std::function<void(qsizetype, qsizetype)>& progress = {});

    // ---- Keeping the work ----

    // Offers each journal a crashed copy of the program left in any of the
    // journal's folders, newest first: `accept` answers the offer,
    // `unreadable` hears of a journal that cannot be offered. The first
    // accepted journal is restored; then this run's journal starts. A journal
    // is deleted only when all of it was restored or declined: one with a
    // damaged part is kept aside whatever the answer.
    struct RecoveryOffer {
        QDateTime modified;
        qsizetype points = 0;
        // A record is damaged: only the work before it comes back, and the
        // journal is kept under keptAs (empty when renaming failed).
        bool damaged = false;
        QString keptAs{};
    };
    struct Unreadable {
        enum class Why {
            NotAJournal,  // damaged before anything to restore, not the program's, not a regular file: kept aside
            CannotRead,   // the user may not read it (or the disk fails): left as it is
            LockInTheWay, // its lock's name is taken by a folder: left as it is, unlocked
        };
        Why why = Why::NotAJournal;
        QString path;
        QString keptAs{}; // NotAJournal: its new name, empty when renaming failed
        QString reason{}; // the system's text, where it gave one
    };
    // `progress` as ProtocolDocument::replaceText() calls it, while the
    // accepted work goes in.
    void recover(const std::function<bool(const RecoveryOffer&)>& accept,
                 const std::function<void(const Unreadable&)>& unreadable,
                 const std::function<void(qsizetype, qsizetype)>& progress = {});
    // Starts this run's journal (no-op without recovery or when running).
    void startJournal();
    // Everything recorded so far on the disk now (the system asks the
    // program to end, a logout).
    void flushJournal();
    // The normal end: the journal and its lock are removed.
    void finish();
    RecoveryJournal* journal() const { return journal_.get(); }
    // The journal keeps the work: its writes reach the disk. False while no
    // folder takes it or its writes fail; it tries again by itself.
    bool journalHealthy() const { return journalHealthy_; }
    // The session and the protocol as the journal keeps them.
    journal::State journalState() const;
    // A new journal file's bytes: the header and a snapshot of journalState(),
    // made without copying the protocol or the session first.
    std::string journalSnapshot() const;

signals:
    // A point joined the session (its line is already in the protocol).
    void pointAdded(const potencor::MeasuredPoint& point);
    // The last point left the session.
    void pointRemoved();
    // The session was replaced as a whole (a protocol opened or restored).
    void sessionReplaced();
    void labelsVisibleChanged(bool visible);
    // The protocol document is about to be built anew from its own text, and
    // has been: an editor keeps its caret and scroll position across them.
    void protocolAboutToCompact();
    void protocolCompacted();
    // The journal's writes reach the disk again, or have stopped doing so.
    void journalHealthChanged(bool healthy);

protected:
    bool event(QEvent* event) override;

private:
    static QEvent::Type releaseEvent();
    void sessionResized();
    void record(std::string bytes);
    // Replaces the work; when `digested`, the digest of the new protocol as
    // a file holds it.
    std::optional<QByteArray> replace(QStringList parts, Session session, bool journalling, bool digested,
                                      const std::function<void(qsizetype, qsizetype)>& progress);
    QByteArray protocolDigest() const;
    // `snapshot`, when given, is journalSnapshot() made already; without
    // `recordEdits` the document's edits are not recorded until the caller
    // says so.
    void startJournal(std::string snapshot, bool recordEdits);

    Options options_;
    calibration::Calibration calibration_ = calibration::defaults();
    Session session_;
    ProtocolDocument* protocol_;
    std::unique_ptr<RecoveryJournal> journal_;
    bool journalHealthy_ = true;
    // The journal the work was restored from, until this run's holds the work on disk.
    std::unique_ptr<RecoveryJournal::LeftBehind> restoredFrom_;
    std::optional<QByteArray> savedDigest_; // of the protocol as last written to a file
    bool filling_ = false; // the document takes a new text by parts
    mutable bool snapshotDuringFill_ = false;
    std::size_t largestSinceRelease_ = 0; // points, since freed memory last went back
    bool releaseQueued_ = false;
};

} // namespace potencor::work
