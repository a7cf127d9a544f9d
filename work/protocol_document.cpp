#include "work/protocol_document.h"

#include "core/platform.h"

#include <QAbstractTextDocumentLayout>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <utility>


namespace potencor::work {

// A document of n blocks holds n-1 line breaks; a text that ends with a line
// break has an empty last block. A block's length counts its line break (or
// the document's end), so an empty block has length 1: asking that, unlike
// its text, reads nothing of the document.

namespace {

// The program's own edits stay out of the document's undo history (which
// they clear): Ctrl+Z in the box must not take back a measurement's line
// while its point stays on the chart, and the history must not grow with the
// session. They are made with the history on and clear it after: with it
// off, Qt counts the text an edit removes as garbage and, every 48 K
// characters of it, copies the whole document's text to drop it; at 100,000
// lines that is 8 MB in fresh memory, tens of milliseconds, every 1,200
// measurements undone. ProtocolDocument drops the removed text itself, less
// often (compactIfWasteful).
class ProgramEdit {
public:
    explicit ProgramEdit(QTextDocument* doc) : doc_(doc) {}
    ~ProgramEdit() { doc_->clearUndoRedoStacks(); }
    ProgramEdit(const ProgramEdit&) = delete;
    ProgramEdit& operator=(const ProgramEdit&) = delete;

private:
    QTextDocument* doc_;
};

// A document's storage only grows: removed text stays in its piece table and
// fragment maps. Once the protocol is down to a quarter of the largest size
// seen, or the text removed from it since it was last built is as long as
// what is left (either of them large), the document is built anew from its
// text; the cost is paid once per fourfold shrink, or once per removal of
// as much as there is.
constexpr int kCompactFromChars = 64 * 1024;

// A text opened with a window to keep alive goes in by parts of this size.
constexpr qsizetype kPartChars = 1 << 20;

// See setWrapFor().
constexpr qsizetype kWordWrapMaxLineChars = 10'000;

// A document reports its changes (which the recovery journal records) only
// while it has a layout. Until an editor puts its own in, this one lays
// nothing out, so a document nobody shows costs nothing to keep.
class NoLayout : public QAbstractTextDocumentLayout {
public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    void draw(QPainter*, const PaintContext&) override {}
    int hitTest(const QPointF&, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame*) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock&) const override { return {}; }

protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

ProtocolDocument::ProtocolDocument(QObject* parent) : QObject(parent), document_(new QTextDocument(this))
{
    document_->setDocumentLayout(new NoLayout(document_));
}

void ProtocolDocument::appendLine(const QString& line)
{
    {
        const ProgramEdit edit(document_);
        QTextCursor c(document_);
        c.beginEditBlock();
        c.movePosition(QTextCursor::End);
        if (c.block().length() > 1)
            c.insertBlock();
        c.insertText(line);
        c.insertBlock();
        c.endEditBlock();
    }
    peakChars_ = std::max(peakChars_, document_->characterCount());
}

void ProtocolDocument::removeLastLine()
{
    QTextBlock last = document_->lastBlock();
    if (last.length() <= 1) {
        if (!last.previous().isValid())
            return; // empty protocol
        last = last.previous();
    }
    {
        const ProgramEdit edit(document_);
        QTextCursor c(document_);
        c.beginEditBlock();
        c.setPosition(last.position());
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        removedChars_ += c.selectionEnd() - c.selectionStart();
        c.removeSelectedText();
        c.endEditBlock();
    }
    compactIfWasteful();
}

namespace {

// Cuts after the first line feed at or past each kPartChars; `find` gives
// the line feed's place from a place, or -1.
template <class Text, class Find, class Convert>
QStringList cutAfterLineFeeds(const Text& text, qsizetype size, Find find, Convert convert)
{
    QStringList parts;
    parts.reserve(size / kPartChars + 1);
    for (qsizetype done = 0; done < size;) {
        qsizetype end = std::min(done + kPartChars, size);
        if (end < size) {
            const qsizetype lineFeed = find(text, end);
            end = lineFeed < 0 ? size : lineFeed + 1;
        }
        parts.append(convert(text, done, end - done));
        done = end;
    }
    return parts;
}

} // namespace

QStringList ProtocolDocument::partsOf(QStringView text)
{
    return cutAfterLineFeeds(
        text, text.size(), [](QStringView t, qsizetype from) { return t.indexOf(QLatin1Char('\n'), from); },
        [](QStringView t, qsizetype at, qsizetype n) { return t.mid(at, n).toString(); });
}

QStringList ProtocolDocument::partsOf(std::string_view utf8)
{
    // A line feed is its own byte in UTF-8, never inside a character.
    return cutAfterLineFeeds(
        utf8, static_cast<qsizetype>(utf8.size()),
        [](std::string_view t, qsizetype from) {
            const std::size_t at = t.find('\n', static_cast<std::size_t>(from));
            return at == std::string_view::npos ? qsizetype{-1} : static_cast<qsizetype>(at);
        },
        [](std::string_view t, qsizetype at, qsizetype n) {
            return QString::fromUtf8(t.data() + at, n);
        });
}

void ProtocolDocument::replaceText(QStringList parts, const std::function<void(qsizetype, qsizetype)>& progress)
{
    setWrapFor(parts);
    qsizetype total = 0;
    for (const QString& part : parts)
        total += part.size();
    {
        // A fill removes nothing, so the history can be off while it goes in
        // (turning it off clears it); on, every line's block would be an undo
        // step: a second and 60 MB at 1,000,000 lines.
        document_->setUndoRedoEnabled(false);
        const auto historyBack = qScopeGuard([this] { document_->setUndoRedoEnabled(true); });
        if (parts.isEmpty())
            document_->setPlainText(QString());
        // Each part goes in at the end as setPlainText() would have put it.
        qsizetype done = 0;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (progress)
                progress(done, total);
            QString part = std::exchange(parts[i], QString());
            if (i == 0) {
                document_->setPlainText(part);
            } else {
                QTextCursor c(document_);
                c.movePosition(QTextCursor::End);
                c.insertText(part);
            }
            done += part.size();
        }
        if (progress)
            progress(done, total);
    }
    peakChars_ = document_->characterCount();
    removedChars_ = 0;
}

void ProtocolDocument::setWrapFor(const QStringList& parts)
{
    // Lines wrap at word boundaries, or anywhere in a word wider than the
    // box. Qt looks for the next word boundary from each place it wraps, to
    // the end of the paragraph: a line of megabytes without a space takes
    // hours. No protocol line is near this long; in a text that has one,
    // lines wrap anywhere. (No line runs from one part into the next.)
    qsizetype longest = 0;
    for (const QString& text : parts) {
        qsizetype start = 0;
        const QChar* p = text.constData();
        for (qsizetype i = 0; i < text.size() && longest <= kWordWrapMaxLineChars; ++i) {
            const char16_t c = p[i].unicode();
            if (c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator) {
                longest = std::max(longest, i - start);
                start = i + 1;
            }
        }
        longest = std::max(longest, text.size() - start);
    }
    QTextOption option = document_->defaultTextOption();
    option.setWrapMode(longest > kWordWrapMaxLineChars ? QTextOption::WrapAnywhere
                                                        : QTextOption::WrapAtWordBoundaryOrAnywhere);
    document_->setDefaultTextOption(option);
}

void ProtocolDocument::compactIfWasteful()
{
    const int chars = document_->characterCount();
    const bool shrunk = peakChars_ >= kCompactFromChars && chars < peakChars_ / 4;
    const bool litter = removedChars_ >= kCompactFromChars && removedChars_ >= chars;
    if (!shrunk && !litter)
        return;
    emit aboutToCompact();
    {
        const ProgramEdit edit(document_);
        // Raw text keeps what toPlainText() would change (no-break spaces);
        // its paragraph separators become the same blocks again.
        document_->setPlainText(document_->toRawText());
    }
    peakChars_ = document_->characterCount();
    removedChars_ = 0;
    platform::returnFreeMemory(); // what the old document freed
    emit compacted();
}

void ProtocolDocument::forEachPart(const std::function<void(QString&)>& f) const
{
    const qsizetype end = characters();
    QTextCursor c(document_);
    for (qsizetype at = 0; at < end;) {
        const qsizetype to = std::min(at + kPartChars, end);
        c.setPosition(static_cast<int>(at));
        c.setPosition(static_cast<int>(to), QTextCursor::KeepAnchor);
        QString part = c.selectedText();
        f(part);
        at = to;
    }
}

// The last block's end is no character of the text.
qsizetype ProtocolDocument::characters() const { return document_->characterCount() - 1; }

ProtocolDocument::Forms ProtocolDocument::formsOf(QStringView text, bool file, bool journal)
{
    // Not toPlainText()'s forms: it turns no-break spaces into spaces and line
    // separators (U+2028) into line breaks. Only line ends end lines.
    Forms forms;
    if (file)
        forms.file.resize(2 * text.size());
    if (journal)
        forms.journal.resize(text.size());
    char16_t* f = file ? reinterpret_cast<char16_t*>(forms.file.data()) : nullptr;
    char16_t* j = journal ? reinterpret_cast<char16_t*>(forms.journal.data()) : nullptr;
    const char16_t* p = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        switch (c) {
        case u'\r':
            if (i + 1 < n && p[i + 1] == u'\n')
                ++i;
            [[fallthrough]];
        case u'\n':
        case QChar::ParagraphSeparator:
        case 0xFDD0:
        case 0xFDD1:
            ++forms.lineEnds;
            if (f) {
                *f++ = u'\r';
                *f++ = u'\n';
            }
            if (j)
                *j++ = u'\n';
            ++forms.heldChars;
            break;
        default:
            if (f)
                *f++ = c;
            if (j)
                *j++ = c;
            ++forms.heldChars;
        }
    }
    if (file)
        forms.file.truncate(f - reinterpret_cast<const char16_t*>(forms.file.constData()));
    if (journal)
        forms.journal.truncate(j - reinterpret_cast<const char16_t*>(forms.journal.constData()));
    return forms;
}

QString ProtocolDocument::text() const
{
    QString text;
    text.reserve(characters() + document_->blockCount() - 1);
    forEachPart([&](QString& part) { text += formsOf(part, true, false).file; });
    return text;
}

std::u16string ProtocolDocument::journalText() const
{
    std::u16string text;
    text.reserve(static_cast<std::size_t>(characters()));
    forEachPart([&](QString& part) {
        const QString journal = formsOf(part, false, true).journal;
        text.append(reinterpret_cast<const char16_t*>(journal.utf16()), static_cast<std::size_t>(journal.size()));
    });
    return text;
}

} // namespace potencor::work
