#include "work/protocol_document.h"

#include "core/platform.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>


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

void ProtocolDocument::replaceText(const QString& text)
{
    {
        const ProgramEdit edit(document_);
        document_->setPlainText(text);
    }
    peakChars_ = document_->characterCount();
    removedChars_ = 0;
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

QString ProtocolDocument::text() const
{
    // Not toPlainText(): it turns no-break spaces into spaces and line
    // separators (U+2028) into line breaks. Only blocks end lines.
    // Grown in place, lines moved back from the end: a second string of a
    // million lines would cost more in fresh memory than all the copying.
    QString text = document_->toRawText();
    const qsizetype rawSize = text.size();
    const qsizetype breaks = text.count(QChar::ParagraphSeparator);
    if (breaks == 0)
        return text;
    text.resize(rawSize + breaks);
    QChar* const data = text.data();
    qsizetype end = rawSize; // of the part still to move
    qsizetype to = text.size();
    while (end > 0) {
        const qsizetype at = QStringView(data, end).lastIndexOf(QChar::ParagraphSeparator);
        to -= end - (at + 1);
        std::copy_backward(data + at + 1, data + end, data + to + (end - (at + 1)));
        if (at < 0)
            break;
        data[--to] = QLatin1Char('\n');
        data[--to] = QLatin1Char('\r');
        end = at;
    }
    return text;
}

std::u16string ProtocolDocument::journalText() const
{
    QString text = document_->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text.toStdU16String();
}

} // namespace potencor::work
