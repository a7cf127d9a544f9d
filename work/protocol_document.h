#pragma once
// The protocol's text as the student edits it: a QTextDocument, one block a
// line. The program's own edits work on the document's end through a
// QTextCursor, so their cost does not grow with the protocol's length.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>

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
    // undo history cleared. Any line end (CR LF, LF, CR) ends a line. The
    // text comes in parts (partsOf()), each let go once it is in, so that a
    // long text is not held twice. With `progress`, progress(done, total)
    // (characters) is called between the parts, so that the caller's window
    // can repaint meanwhile; the document must not be touched from it.
    void replaceText(QStringList parts, const std::function<void(qsizetype, qsizetype)>& progress = {});
    void replaceText(const QString& text, const std::function<void(qsizetype, qsizetype)>& progress = {})
    {
        replaceText(partsOf(text), progress);
    }
    // A text cut into parts for replaceText() of about a million characters:
    // each but the last ends after a line feed, so that no CR LF is split.
    static QStringList partsOf(QStringView text);
    static QStringList partsOf(std::string_view utf8);

    // The protocol as the file holds it: lines joined by CR LF.
    QString text() const;
    // The protocol as the recovery journal keeps it: '\n' between lines.
    std::u16string journalText() const;

    // The text by parts, in order, as the document holds it (U+2029 between
    // lines), so that a long protocol is read without a second copy of all
    // of it; f may change each part.
    void forEachPart(const std::function<void(QString&)>& f) const;
    // The text's length: forEachPart's parts together.
    qsizetype characters() const;
    // A text, or a part of the document's, in the forms the file keeps (CR LF
    // between lines) and the journal keeps ('\n'), each only when asked for.
    // Its line ends are those the document takes: CR LF, LF, CR, U+2029 and
    // the frame marks U+FDD0 and U+FDD1 (QTextCursor::insertText() ends a
    // block at each); the document's own text has U+2029 alone. What the
    // document will hold of replaceText()'s parts is known from them so.
    struct Forms {
        QString file;
        QString journal;
        qsizetype lineEnds = 0;
        qsizetype heldChars = 0; // in the document (a line end is one)
    };
    static Forms formsOf(QStringView text, bool file, bool journal);

signals:
    // The document is about to be built anew from its own text (it shrank a
    // lot, or much was removed from it): an editor keeps its caret and
    // scroll position across the two.
    void aboutToCompact();
    void compacted();

private:
    void compactIfWasteful();
    void setWrapFor(const QStringList& parts);

    QTextDocument* document_;
    int peakChars_ = 0;
    int removedChars_ = 0; // by the program since the document was built
};

} // namespace potencor::work
