#pragma once
// The protocol's text as the student edits it: a QTextDocument, one block a
// line. The program's own edits work on the document's end through a
// QTextCursor, so their cost does not grow with the protocol's length.
#include <QObject>
#include <QString>

#include <string>

class QTextDocument;

namespace potencor::work {

class ProtocolDocument : public QObject {
    Q_OBJECT
public:
    explicit ProtocolDocument(QObject* parent = nullptr);

    // The document an editor shows and the student types into.
    QTextDocument* document() const { return document_; }

    // Appends the line as a new last line; a last line that lost its line
    // break (edited by hand) gets one first.
    void appendLine(const QString& line);
    // Removes the last line with its line break; the empty piece after a
    // final line break is not a line; an empty protocol stays empty.
    void removeLastLine();
    // A whole new text (a protocol opened or restored), with the document's
    // undo history cleared.
    void replaceText(const QString& text);

    // The protocol as the file holds it: lines joined by CR LF.
    QString text() const;
    // The protocol as the recovery journal keeps it: '\n' between lines.
    std::u16string journalText() const;

signals:
    // The document is about to be built anew from its own text (it shrank a
    // lot, or much was removed from it): an editor keeps its caret and
    // scroll position across the two.
    void aboutToCompact();
    void compacted();

private:
    void compactIfWasteful();

    QTextDocument* document_;
    int peakChars_ = 0;
    int removedChars_ = 0; // by the program since the document was built
};

} // namespace potencor::work
