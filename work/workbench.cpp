#include "work/workbench.h"

#include "work/protocol_document.h"
#include "work/recovery.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

namespace potencor::work {
namespace {

// What was saved is known by its digest: a copy of a long protocol would
// hold as much memory as the protocol box.
QByteArray digestOf(const QString& text)
{
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char*>(text.utf16()), text.size() * qsizetype(sizeof(char16_t))),
        QCryptographicHash::Sha256);
}

} // namespace
Workbench::Workbench(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)), protocol_(new ProtocolDocument(this))
{
    if (options_.stateDirectory.isEmpty())
        options_.stateDirectory = stateDirectory();
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

bool Workbench::hasUnsavedWork() const
{
    const QString text = protocolText();
    return savedDigest_ ? digestOf(text) != *savedDigest_ : !text.isEmpty();
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
    opening.text = QString::fromUtf8(opened.utf8.data(), static_cast<qsizetype>(opened.utf8.size()));
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
    const qsizetype chars = opening.text.size();
    protocol_->replaceText(opening.text, progress);
    opening.text = QString();
    session_ = std::move(opening.session);
    emit sessionReplaced();
    // What is left takes a while too for a long protocol: the window may
    // repaint in between.
    const auto breathe = [&] {
        if (progress)
            progress(chars, chars);
    };
    breathe();
    // The file holds what the document now holds.
    savedDigest_ = digestOf(protocolText());
    breathe();
    if (journalling)
        startJournal();
    return opening.encoding;
}

void Workbench::replace(Session session, const QString& protocol)
{
    protocol_->replaceText(protocol);
    session_ = std::move(session);
    emit sessionReplaced();
}

journal::State Workbench::journalState() const { return {protocol_->journalText(), session_}; }

void Workbench::record(std::string bytes)
{
    if (journal_)
        journal_->record(std::move(bytes));
}

void Workbench::recover(const std::function<bool(const RecoveryOffer&)>& accept,
                        const std::function<void(const QString& path, const QString& keptAs)>& unreadable)
{
    if (!options_.recovery)
        return;
    for (RecoveryJournal::LeftBehind& found : RecoveryJournal::leftBehind(options_.stateDirectory)) {
        // The file's bytes go once read: a long session's are as large as its text.
        journal::ReadResult read = [&] {
            QFile file(found.path);
            const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return journal::read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }();
        if (read.status != journal::ReadResult::Status::Ok) {
            const QString aside = RecoveryJournal::keepAside(found);
            unreadable(found.path, aside);
            continue;
        }
        if (read.state.empty()) {
            RecoveryJournal::discard(found);
            continue;
        }
        if (!accept({found.modified, static_cast<qsizetype>(read.state.session.points().size())})) {
            RecoveryJournal::discard(found);
            continue;
        }
        QString protocol = QString::fromStdU16String(read.state.protocol);
        read.state.protocol = {};
        replace(std::move(read.state.session), protocol);
        protocol = QString();
        // The old journal goes only once the new one holds the session on disk.
        startJournal();
        flushJournal();
        RecoveryJournal::discard(found);
        break;
    }
    startJournal();
}

void Workbench::startJournal()
{
    if (journal_ || !options_.recovery)
        return;
    auto j = std::make_unique<RecoveryJournal>(options_.stateDirectory);
    j->stateSource = [this] { return journalState(); };
    if (!j->start()) {
        // The program works on without one; the student's saves are unaffected.
        qWarning("potencor: no recovery journal in %s", qPrintable(QDir::toNativeSeparators(options_.stateDirectory)));
        return;
    }
    j->recordEdits(protocol_->document());
    journal_ = std::move(j);
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
}

} // namespace potencor::work
