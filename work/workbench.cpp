#include "work/workbench.h"

#include "core/file_io.h"
#include "work/protocol_document.h"
#include "work/recovery.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include <cerrno>

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
    protocol_->forEachPart([&](QString& part) { addText(hash, ProtocolDocument::fileForm(part)); });
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
    Opening opening{{}, Session::fromProtocol(opened.utf8), opened.encoding};
    if (stop())
        return std::nullopt;
    // The document takes any line end as one, as the session's lines do.
    opening.text = ProtocolDocument::partsOf(opened.utf8);
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
    qsizetype chars = 0;
    for (const QString& part : opening.text)
        chars += part.size();
    protocol_->replaceText(std::move(opening.text), progress);
    session_ = std::move(opening.session);
    emit sessionReplaced();
    // What is left takes a while too for a long protocol: the window may
    // repaint in between.
    const auto breathe = [&] {
        if (progress)
            progress(chars, chars);
    };
    breathe();
    // The file holds what the document now holds; the journal starts with
    // it. One reading of a long document serves both.
    QCryptographicHash saved(kDigest);
    std::optional<journal::SnapshotBuilder> snapshot;
    if (journalling)
        snapshot.emplace(session_, protocol_->characters());
    protocol_->forEachPart([&](QString& part) {
        addText(saved, ProtocolDocument::fileForm(part));
        if (snapshot) {
            ProtocolDocument::toJournalForm(part);
            snapshot->appendText(viewOf(part));
        }
    });
    savedDigest_ = saved.result();
    breathe();
    if (journalling)
        startJournal(snapshot ? snapshot->finish() : std::string());
    return opening.encoding;
}

void Workbench::replace(Session session, QStringList protocol)
{
    protocol_->replaceText(std::move(protocol));
    session_ = std::move(session);
    emit sessionReplaced();
}

journal::State Workbench::journalState() const { return {protocol_->journalText(), session_}; }

std::string Workbench::journalSnapshot() const
{
    journal::SnapshotBuilder snapshot(session_, static_cast<std::size_t>(protocol_->characters()));
    protocol_->forEachPart([&](QString& part) {
        ProtocolDocument::toJournalForm(part);
        snapshot.appendText(viewOf(part));
    });
    return snapshot.finish();
}

void Workbench::record(std::string bytes)
{
    if (journal_)
        journal_->record(std::move(bytes));
}

void Workbench::recover(const std::function<bool(const RecoveryOffer&)>& accept,
                        const std::function<void(const Unreadable&)>& unreadable)
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
        replace(std::move(read.state.session), std::move(protocol));
        // The old journal goes only once the new one holds the session on disk.
        startJournal();
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

void Workbench::startJournal(std::string snapshot)
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
