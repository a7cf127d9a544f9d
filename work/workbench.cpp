#include "work/workbench.h"

#include "work/protocol_document.h"
#include "work/recovery.h"

#include "core/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

#include <algorithm>

namespace potencor::work {
namespace {

// The text a file's lines make in the protocol document: every line end a
// line break.
QString documentText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
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

bool Workbench::hasUnsavedWork() const
{
    const QString text = protocolText();
    return savedText_ ? text != *savedText_ : !text.isEmpty();
}

void Workbench::save(const QString& path, const QString& text, text::Encoding encoding)
{
    exporting::saveProtocol(path, text, encoding);
    savedText_ = text;
}

text::Encoding Workbench::open(const QString& path, std::optional<text::Encoding> forced)
{
    const exporting::OpenedProtocol opened = exporting::readProtocol(path, forced);
    const QByteArray utf8 = opened.text.toUtf8();
    Session session = Session::fromProtocol(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    session.setLabelsVisible(session_.labelsVisible());
    replace(session, documentText(opened.text));
    // The file holds what the document now holds.
    savedText_ = protocolText();
    if (journal_)
        journal_->rewriteNow();
    return opened.encoding;
}

void Workbench::replace(const Session& session, const QString& protocol)
{
    protocol_->replaceText(protocol);
    session_ = session;
    emit sessionReplaced();
    sessionResized();
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
        QFile file(found.path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const journal::ReadResult read =
            journal::read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
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
        replace(read.state.session, QString::fromStdU16String(read.state.protocol));
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
