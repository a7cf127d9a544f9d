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

#include <QDateTime>
#include <QEvent>
#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>

class QTextDocument;

namespace potencor::work {

class ProtocolDocument;
class RecoveryJournal;

class Workbench : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The recovery journal and, at start, the offer of what a crash left.
        bool recovery = true;
        QString stateDirectory{}; // empty: the user's state folder
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

    // ---- Keeping the work ----

    // Offers each journal a crashed copy of the program left, newest first:
    // `accept` answers the offer, `unreadable` hears of a journal that cannot
    // be read (kept aside under the second path, empty when renaming failed).
    // The first accepted journal is restored; then this run's journal starts.
    struct RecoveryOffer {
        QDateTime modified;
        qsizetype points = 0;
    };
    void recover(const std::function<bool(const RecoveryOffer&)>& accept,
                 const std::function<void(const QString& path, const QString& keptAs)>& unreadable);
    // Starts this run's journal (no-op without recovery or when running).
    void startJournal();
    // Everything recorded so far on the disk now (the system asks the
    // program to end, a logout).
    void flushJournal();
    // The normal end: the journal and its lock are removed.
    void finish();
    RecoveryJournal* journal() const { return journal_.get(); }
    // The session and the protocol as the journal keeps them.
    journal::State journalState() const;

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

protected:
    bool event(QEvent* event) override;

private:
    static QEvent::Type releaseEvent();
    void sessionResized();
    void record(std::string bytes);
    void replace(const Session& session, const QString& protocol);

    Options options_;
    calibration::Calibration calibration_ = calibration::defaults();
    Session session_;
    ProtocolDocument* protocol_;
    std::unique_ptr<RecoveryJournal> journal_;
    std::optional<QString> savedText_; // the protocol as last written to a file
    std::size_t largestSinceRelease_ = 0; // points, since freed memory last went back
    bool releaseQueued_ = false;
};

} // namespace potencor::work
