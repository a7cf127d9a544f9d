#include "ui/protocol_memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace potencor::ui {

// A document of n blocks holds n-1 line breaks; a text that ends with a line
// break has an empty last block.

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

} // namespace

void appendProtocolLine(QPlainTextEdit* memo, const QString& line)
{
    QTextDocument* doc = memo->document();
    const ProgramEdit edit(doc);
    QTextCursor c(doc);
    c.movePosition(QTextCursor::End);
    c.beginEditBlock();
    if (!doc->lastBlock().text().isEmpty())
        c.insertBlock();
    c.insertText(line);
    c.insertBlock();
    c.endEditBlock();
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void removeLastProtocolLine(QPlainTextEdit* memo)
{
    QTextDocument* doc = memo->document();
    QTextBlock last = doc->lastBlock();
    if (last.text().isEmpty()) {
        if (!last.previous().isValid())
            return; // empty protocol
        last = last.previous();
    }
    const ProgramEdit edit(doc);
    QTextCursor c(doc);
    c.setPosition(last.position());
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
}

QString protocolText(const QPlainTextEdit* memo)
{
    QString text = memo->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

} // namespace potencor::ui
