#include "work/workbench.h"

#include "core/file_io.h"
#include "work/protocol_document.h"
#include "work/recovery.h"

#include "core/platform.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include <algorithm>
#include <cerrno>
#include <future>
#include <utility>

namespace potencor::work {
namespace {

// What was saved is known by its digest: a copy of a long protocol would
// hold as much memory as the protocol box. A check for changes, not a
// signature: SHA-1 does, four times as fast as SHA-256.
constexpr QCryptographicHash::Algorithm kDigest = QCryptographicHash::Sha1;

void addText(QCryptographicHash& hash, QStringView text)
{
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * qsizetype(sizeof(char16_t))));
}

QByteArray digestOf(const QString& text)
{
    QCryptographicHash hash(kDigest);
    addText(hash, text);
    return hash.result();
}

std::u16string_view viewOf(const QString& text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace
Workbench::Workbench(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), protocol_(new ProtocolDocument(this))
{
    if (options_.stateDirectory.isEmpty()) {
        options_.stateDirectory = stateDirectory();
        options_.fallbackDirectories = fallbackDirectories();
    }
    connect(protocol_, &ProtocolDocument::aboutToCompact, this, &Workbench::protocolAboutToCompact);
    connect(protocol_, &ProtocolDocument::compacted, this, &Workbench::protocolCompacted);
}

Workbench::~Workbench() { finish(); }

QTextDocument* Workbench::protocol() const { return protocol_->document(); }

QString Workbench::protocolText() const { return protocol_->text(); }

calibration::PlaneCm Workbench::planeAt(long double dxPx, long double dyPx) const
{
    return calibration::convert(calibration_, dxPx, dyPx, false);
}

// Every change reaches the protocol, the views and the journal here, in the
// order the session gives, so that a journal cut anywhere replays to a state
// the program was in.
Session::Change Workbench::measure(long double dxPx, long double dyPx, bool snapToGrid, char32_t decimalSeparator)
{
    const calibration::PlaneCm at = calibration::convert(calibration_, dxPx, dyPx, snapToGrid);
    const Session::Change change = session_.measure(at.X1, at.Y1, decimalSeparator);
    protocol_->appendLine(QString::fromStdString(change.line)); // its edit goes to the journal
    emit pointAdded(change.point);
    record(journal::pointAppended(change.point));
    change.raiseDeferred();
    record(journal::count(change.count));
    sessionResized();
    return change;
}

bool Workbench::undo()
{
    const Session::Change change = session_.undo();
    if (change.kind == Session::Change::Kind::None)
        return false;
    emit pointRemoved();
    record(journal::pointRemoved());
    protocol_->removeLastLine();
    record(journal::count(change.count));
    sessionResized();
    return true;
}

// What the session, the views and the document freed stays with the
// allocator, scattered among what is still used, unless given back: once
// per fourfold shrink of the session (a walk over the allocator's free lists,
// well under a millisecond), after everything else queued by then (repaints,
// the views' own queued calls) has been handled and freed.
void Workbench::sessionResized()
{
    const std::size_t points = session_.points().size();
    if (points >= largestSinceRelease_ / 4) {
        largestSinceRelease_ = std::max(largestSinceRelease_, points);
        return;
    }
    largestSinceRelease_ = points;
    if (!releaseQueued_) {
        releaseQueued_ = true;
        QCoreApplication::postEvent(this, new QEvent(releaseEvent()), Qt::LowEventPriority);
    }
}

QEvent::Type Workbench::releaseEvent()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool Workbench::event(QEvent* event)
{
    if (event->type() != releaseEvent())
        return QObject::event(event);
    releaseQueued_ = false;
    platform::returnFreeMemory();
    return true;
}

void Workbench::setLabelsVisible(bool visible)
{
    session_.setLabelsVisible(visible);
    emit labelsVisibleChanged(visible);
    record(journal::labels(visible));
}

// The protocol as the file holds it, read by parts: as digestOf(protocolText()).
QByteArray Workbench::protocolDigest() const
{
    QCryptographicHash hash(kDigest);
    protocol_->forEachPart([&](QString& part) { addText(hash, ProtocolDocument::formsOf(part, true, false).file); });
    return hash.result();
}

bool Workbench::hasUnsavedWork() const
{
    return savedDigest_ ? protocolDigest() != *savedDigest_ : protocol_->characters() > 0;
}

void Workbench::save(const QString& path, const QString& text, text::Encoding encoding)
{
    exporting::saveProtocol(path, text, encoding);
    savedDigest_ = digestOf(text);
}

text::Encoding Workbench::open(const QString& path, std::optional<text::Encoding> forced)
{
    return open(std::move(*readForOpening(path, forced)));
}

std::optional<Workbench::Opening> Workbench::readForOpening(const QString& path,
                                                            std::optional<text::Encoding> forced,
                                                            const std::function<bool()>& cancelled)
{
    const auto stop = [&] { return cancelled && cancelled(); };
    exporting::OpenedProtocol opened = exporting::readProtocol(path, forced);
    if (stop())
        return std::nullopt;
    // The lines are parsed while the text is cut into parts: two cores, when
    // there are, take half the time.
    std::future<Session> session =
        std::async(std::launch::async, [&utf8 = std::as_const(opened.utf8)] { return Session::fromProtocol(utf8); });
    // The document takes any line end as one, as the session's lines do.
    QStringList parts = ProtocolDocument::partsOf(opened.utf8);
    Opening opening{std::move(parts), session.get(), opened.encoding};
    if (stop())
        return std::nullopt;
    return opening;
}

text::Encoding Workbench::open(Opening opening, const std::function<void(qsizetype, qsizetype)>& progress)
{
    opening.session.setLabelsVisible(session_.labelsVisible());
    // The journal starts anew with the opened work: recorded as an edit of
    // the old text, the new one would cost as much again, only to be
    // replaced by a snapshot. The old work is no longer wanted by now (saved,
    // or the student said so), and the new one is in its file meanwhile.
    const bool journalling = journal_ != nullptr;
    finish();
    // The file holds what the document is about to hold.
    savedDigest_ = replace(std::move(opening.text), std::move(opening.session), journalling, true, progress);
    return opening.encoding;
}

// The parts say what the document will hold before they go in: the digest
// of it as a file holds it and the new journal's snapshot come from them, so
// that the journal is on its way to the disk while the document fills and
// the long document is never read back. Each part goes once it is in.
std::optional<QByteArray> Workbench::replace(QStringList parts, Session session, bool journalling, bool digested,
                                             const std::function<void(qsizetype, qsizetype)>& progress)
{
    qsizetype chars = 0;
    for (const QString& part : parts)
        chars += part.size();
    QCryptographicHash digest(kDigest);
    std::optional<journal::SnapshotBuilder> snapshot;
    if (journalling)
        snapshot.emplace(session, static_cast<std::size_t>(chars));
    qsizetype heldChars = 0;
    qsizetype heldBreaks = 0;
    for (const QString& part : parts) {
        if (progress)
            progress(0, chars); // the window repaints meanwhile too
        const ProtocolDocument::Forms forms = ProtocolDocument::formsOf(part, digested, snapshot.has_value());
        heldChars += forms.heldChars;
        heldBreaks += forms.lineEnds;
        if (digested)
            addText(digest, forms.file);
        if (snapshot)
            snapshot->appendText(viewOf(forms.journal));
    }
    session_ = std::move(session);
    if (snapshot) {
        // Its edits are recorded from the filled document on: the snapshot
        // holds the fill.
        startJournal(snapshot->finish(), false);
        snapshot.reset();
    }
    snapshotDuringFill_ = false;
    filling_ = true;
    protocol_->replaceText(std::move(parts), progress);
    filling_ = false;
    emit sessionReplaced();
    if (progress)
        progress(chars, chars); // the views took a while too: the window repaints
    // Should Qt ever make other blocks of the text than formsOf() says, the
    // document itself is read after all; so is it when the journal had to
    // take a snapshot while the document was still filling.
    const bool asHeld = protocol_->characters() == heldChars && protocol_->document()->blockCount() == heldBreaks + 1;
    sessionResized();
    if (journal_) {
        journal_->recordEdits(protocol_->document());
        if (!asHeld || snapshotDuringFill_)
            journal_->rewriteNow();
    }
    if (!digested)
        return std::nullopt;
    return asHeld ? digest.result() : protocolDigest();
}

journal::State Workbench::journalState() const { return {protocol_->journalText(), session_}; }

std::string Workbench::journalSnapshot() const
{
    if (filling_)
        snapshotDuringFill_ = true;
    journal::SnapshotBuilder snapshot(session_, static_cast<std::size_t>(protocol_->characters()));
    protocol_->forEachPart(
        [&](QString& part) { snapshot.appendText(viewOf(ProtocolDocument::formsOf(part, false, true).journal)); });
    return snapshot.finish();
}

void Workbench::record(std::string bytes)
{
    if (journal_)
        journal_->record(std::move(bytes));
}

void Workbench::recover(const std::function<bool(const RecoveryOffer&)>& accept,
                        const std::function<void(const Unreadable&)>& unreadable,
                        const std::function<void(qsizetype, qsizetype)>& progress)
{
    if (!options_.recovery)
        return;
    using Why = Unreadable::Why;
    for (RecoveryJournal::LeftBehind& found :
         RecoveryJournal::leftBehind(QStringList{options_.stateDirectory} + options_.fallbackDirectories)) {
        if (found.lockInTheWay) {
            unreadable({Why::LockInTheWay, found.path});
            continue;
        }
        // Only a regular file, through no link, never waiting on a FIFO, and
        // no larger than a journal gets.
        files::ReadResult file = files::readBounded(QFile::encodeName(found.path).toStdString(),
                                                          journal::kMaxBytes, files::Accept::RegularFile);
        using FileStatus = files::ReadResult::Status;
        if (file.status == FileStatus::CannotOpen && file.error == ENOENT)
            continue; // gone meanwhile
        const bool notAFile = file.status == FileStatus::CannotOpen && (file.error == ELOOP || file.error == ENOTSUP);
        if ((file.status == FileStatus::CannotOpen && !notAFile) || file.status == FileStatus::ReadFailed) {
            // It may be readable another time: it stays as it is.
            unreadable({Why::CannotRead, found.path, {}, QString::fromStdString(files::errorText(file.error))});
            continue;
        }
        journal::ReadResult read;
        if (file.status == FileStatus::Ok)
            read = journal::read(file.bytes);
        // The file's bytes go once read: a long session's are as large as its text.
        std::string().swap(file.bytes);
        const bool damaged = read.status == journal::ReadResult::Status::Partial;
        if (read.status != journal::ReadResult::Status::Ok && !(damaged && !read.state.empty())) {
            const QString aside = RecoveryJournal::keepAside(found);
            unreadable({Why::NotAJournal, found.path, aside});
            continue;
        }
        if (read.state.empty()) {
            RecoveryJournal::discard(found);
            continue;
        }
        // What was not restored is never deleted: a damaged journal is kept
        // aside before the question, whatever the answer.
        const QString keptAs = damaged ? RecoveryJournal::keepAside(found) : QString();
        if (!accept({found.modified, static_cast<qsizetype>(read.state.session.points().size()), damaged, keptAs})) {
            if (!damaged)
                RecoveryJournal::discard(found);
            continue;
        }
        QStringList protocol = ProtocolDocument::partsOf(
            QStringView(read.state.protocol.data(), static_cast<qsizetype>(read.state.protocol.size())));
        std::u16string().swap(read.state.protocol);
        replace(std::move(protocol), std::move(read.state.session), true, false, progress);
        // The old journal goes only once the new one holds the session on disk.
        flushJournal();
        if (!damaged) {
            if (journal_ && journal_->onDisk())
                RecoveryJournal::discard(found);
            else
                restoredFrom_ = std::make_unique<RecoveryJournal::LeftBehind>(std::move(found));
        }
        break;
    }
    startJournal();
}

void Workbench::startJournal() { startJournal({}, true); }

void Workbench::startJournal(std::string snapshot, bool recordEdits)
{
    if (journal_ || !options_.recovery)
        return;
    journal_ = std::make_unique<RecoveryJournal>(QStringList{options_.stateDirectory} + options_.fallbackDirectories);
    journal_->snapshotSource = [this] { return journalSnapshot(); };
    connect(journal_.get(), &RecoveryJournal::healthChanged, this, [this](bool healthy) {
        if (healthy && restoredFrom_) {
            RecoveryJournal::discard(*restoredFrom_);
            restoredFrom_.reset();
        }
        if (healthy != journalHealthy_) {
            journalHealthy_ = healthy;
            emit journalHealthChanged(healthy);
        }
    });
    if (recordEdits)
        journal_->recordEdits(protocol_->document());
    if (!journal_->start(std::move(snapshot))) {
        // The program works on without one, trying again; the student's saves are unaffected.
        qWarning("potencor: no recovery journal: no folder takes it (%s)",
                 qPrintable(QDir::toNativeSeparators(
                     (QStringList{options_.stateDirectory} + options_.fallbackDirectories).join(QStringLiteral(", ")))));
    }
}

void Workbench::flushJournal()
{
    if (journal_)
        journal_->flushAndWait();
}

void Workbench::finish()
{
    if (journal_) {
        journal_->remove();
        journal_.reset();
    }
    // The work ends normally: nothing is kept for it any more.
    if (restoredFrom_) {
        RecoveryJournal::discard(*restoredFrom_);
        restoredFrom_.reset();
    }
}

} // namespace potencor::work
