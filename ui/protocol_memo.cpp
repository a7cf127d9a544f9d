#include "ui/protocol_memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace potencor::ui {

// A document of n blocks holds n-1 line breaks; a text that ends with a line
// break has an empty last block.

void appendProtocolLine(QPlainTextEdit* memo, const QString& line)
{
    QTextDocument* doc = memo->document();
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
