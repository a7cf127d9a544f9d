#include "ui/protocol_memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace potencor::ui {

// A document of n blocks holds n-1 line breaks; a text that ends with a line
// break has an empty last block. A block's length counts its line break (or
// the document's end), so an empty block has length 1: asking that, unlike
// its text, reads nothing of the document.

namespace {

// The program's own edits stay out of the box's undo history (which they
// clear): Ctrl+Z in the box must not take back a measurement's line while its
// point stays on the chart, and the history must not grow with the session.
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
// seen (and that was large), the document is built anew from its text, which
// keeps every character, the caret, the selection and the scroll position;
// the cost is paid once per fourfold shrink.
constexpr int kCompactFromChars = 64 * 1024;
const char* const kPeakProperty = "potencorPeakChars";

void notePeak(QTextDocument* doc)
{
    const int now = doc->characterCount();
    if (now > doc->property(kPeakProperty).toInt())
        doc->setProperty(kPeakProperty, now);
}

void compactIfShrunk(QPlainTextEdit* memo)
{
    QTextDocument* doc = memo->document();
    const int peak = doc->property(kPeakProperty).toInt();
    if (peak < kCompactFromChars || doc->characterCount() >= peak / 4)
        return;
    const QTextCursor caret = memo->textCursor();
    const int anchor = caret.anchor();
    const int position = caret.position();
    const int scroll = memo->verticalScrollBar()->value();
    {
        const ProgramEdit edit(doc);
        // Raw text keeps what toPlainText() would change (no-break spaces);
        // its paragraph separators become the same blocks again.
        doc->setPlainText(doc->toRawText());
    }
    QTextCursor restored(doc);
    restored.setPosition(anchor);
    restored.setPosition(position, QTextCursor::KeepAnchor);
    memo->setTextCursor(restored);
    memo->verticalScrollBar()->setValue(scroll);
    doc->setProperty(kPeakProperty, doc->characterCount());
#ifdef __GLIBC__
    // What the old document freed stays with the allocator otherwise.
    malloc_trim(0);
#endif
}

} // namespace

void appendProtocolLine(QPlainTextEdit* memo, const QString& line)
{
    QTextDocument* doc = memo->document();
    const ProgramEdit edit(doc);
    QTextCursor c(doc);
    c.beginEditBlock();
    c.movePosition(QTextCursor::End);
    if (c.block().length() > 1)
        c.insertBlock();
    c.insertText(line);
    c.insertBlock();
    c.endEditBlock();
    notePeak(doc);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void removeLastProtocolLine(QPlainTextEdit* memo)
{
    QTextDocument* doc = memo->document();
    QTextBlock last = doc->lastBlock();
    if (last.length() <= 1) {
        if (!last.previous().isValid())
            return; // empty protocol
        last = last.previous();
    }
    {
        const ProgramEdit edit(doc);
        QTextCursor c(doc);
        c.beginEditBlock();
        c.setPosition(last.position());
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        c.endEditBlock();
    }
    compactIfShrunk(memo);
}

void replaceProtocolText(QPlainTextEdit* memo, const QString& text)
{
    QTextDocument* doc = memo->document();
    {
        const ProgramEdit edit(doc);
        doc->setPlainText(text);
    }
    doc->setProperty(kPeakProperty, doc->characterCount());
    memo->moveCursor(QTextCursor::End);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

QString protocolText(const QPlainTextEdit* memo)
{
    // Not toPlainText(): it turns no-break spaces into spaces and line
    // separators (U+2028) into line breaks. Only blocks end lines.
    // Grown in place, lines moved back from the end: a second string of a
    // million lines would cost more in fresh memory than all the copying.
    QString text = memo->document()->toRawText();
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

} // namespace potencor::ui
