#include "work/protocol_document.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace potencor::work {

// A document of n blocks holds n-1 line breaks; a text that ends with a line
// break has an empty last block. A block's length counts its line break (or
// the document's end), so an empty block has length 1: asking that, unlike
// its text, reads nothing of the document.

namespace {

// The program's own edits stay out of the document's undo history (which
// they clear): Ctrl+Z in the box must not take back a measurement's line
// while its point stays on the chart, and the history must not grow with the
// session.
class ProgramEdit {
public:
    explicit ProgramEdit(QTextDocument* doc) : doc_(doc) { doc_->setUndoRedoEnabled(false); }
    ~ProgramEdit() { doc_->setUndoRedoEnabled(true); }
    ProgramEdit(const ProgramEdit&) = delete;
    ProgramEdit& operator=(const ProgramEdit&) = delete;

private:
    QTextDocument* doc_;
};

// A document's storage only grows: removed text stays in its piece table and
// fragment maps. Once the protocol is down to a quarter of the largest size
// seen (and that was large), the document is built anew from its text; the
// cost is paid once per fourfold shrink.
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
        c.removeSelectedText();
        c.endEditBlock();
    }
    compactIfShrunk();
}

void ProtocolDocument::replaceText(const QString& text, const std::function<void(qsizetype, qsizetype)>& progress)
{
    setWrapFor(text);
    {
        const ProgramEdit edit(document_);
        if (!progress || text.size() <= kPartChars) {
            document_->setPlainText(text);
        } else {
            // Parts end after a line end, so that no CR LF is split; each
            // goes in at the end as setPlainText() would have put it.
            qsizetype done = 0;
            while (done < text.size()) {
                progress(done, text.size());
                qsizetype end = std::min(done + kPartChars, text.size());
                if (end < text.size()) {
                    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), end);
                    end = lineEnd < 0 ? text.size() : lineEnd + 1;
                }
                const QString part = text.mid(done, end - done);
                if (done == 0) {
                    document_->setPlainText(part);
                } else {
                    QTextCursor c(document_);
                    c.movePosition(QTextCursor::End);
                    c.insertText(part);
                }
                done = end;
            }
            progress(done, text.size());
        }
    }
    peakChars_ = document_->characterCount();
}

void ProtocolDocument::setWrapFor(const QString& text)
{
    // Lines wrap at word boundaries, or anywhere in a word wider than the
    // box. Qt looks for the next word boundary from each place it wraps, to
    // the end of the paragraph: a line of megabytes without a space takes
    // hours. No protocol line is near this long; in a text that has one,
    // lines wrap anywhere.
    qsizetype longest = 0;
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
    QTextOption option = document_->defaultTextOption();
    option.setWrapMode(longest > kWordWrapMaxLineChars ? QTextOption::WrapAnywhere
                                                        : QTextOption::WrapAtWordBoundaryOrAnywhere);
    document_->setDefaultTextOption(option);
}

void ProtocolDocument::compactIfShrunk()
{
    if (peakChars_ < kCompactFromChars || document_->characterCount() >= peakChars_ / 4)
        return;
    emit aboutToCompact();
    {
        const ProgramEdit edit(document_);
        // Raw text keeps what toPlainText() would change (no-break spaces);
        // its paragraph separators become the same blocks again.
        document_->setPlainText(document_->toRawText());
    }
    peakChars_ = document_->characterCount();
#ifdef __GLIBC__
    // What the old document freed stays with the allocator otherwise.
    malloc_trim(0);
#endif
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

QString ProtocolDocument::fileForm(QStringView part)
{
    // Not toPlainText()'s form: it turns no-break spaces into spaces and line
    // separators (U+2028) into line breaks. Only blocks end lines.
    QString out;
    out.reserve(part.size() + part.count(QChar::ParagraphSeparator));
    for (qsizetype at = 0;;) {
        const qsizetype end = part.indexOf(QChar::ParagraphSeparator, at);
        out += part.mid(at, (end < 0 ? part.size() : end) - at);
        if (end < 0)
            return out;
        out += QLatin1String("\r\n");
        at = end + 1;
    }
}

void ProtocolDocument::toJournalForm(QString& part) { part.replace(QChar::ParagraphSeparator, QLatin1Char('\n')); }

QString ProtocolDocument::text() const
{
    QString text;
    text.reserve(characters() + document_->blockCount() - 1);
    forEachPart([&](QString& part) { text += fileForm(part); });
    return text;
}

std::u16string ProtocolDocument::journalText() const
{
    std::u16string text;
    text.reserve(static_cast<std::size_t>(characters()));
    forEachPart([&](QString& part) {
        toJournalForm(part);
        text.append(reinterpret_cast<const char16_t*>(part.utf16()), static_cast<std::size_t>(part.size()));
    });
    return text;
}

} // namespace potencor::work
