#pragma once
// The protocol box's text operations. They work on the document's end through
// a QTextCursor, so their cost does not grow with the protocol's length.
#include <QString>

class QPlainTextEdit;

namespace potencor::ui {

// Appends the line as a new last line; a last line that lost its line break
// (edited by hand) gets one first.
void appendProtocolLine(QPlainTextEdit* memo, const QString& line);

// Removes the last line with its line break; the empty piece after a final
// line break is not a line; an empty protocol stays empty.
void removeLastProtocolLine(QPlainTextEdit* memo);

// Puts a whole new text in the box (a protocol opened or restored), caret and
// view at its end, with the box's undo history cleared.
void replaceProtocolText(QPlainTextEdit* memo, const QString& text);

// The protocol as the file holds it: lines joined by CR LF.
QString protocolText(const QPlainTextEdit* memo);

} // namespace potencor::ui
