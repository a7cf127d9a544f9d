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
    // A part of replaceText()'s text as the document holds it once it is in,
    // as forEachPart() would give it back: each line end becomes U+2029.
    static QString heldForm(QStringView part);
    // A part in the form the file holds (CR LF between lines) and, in place,
    // in the form the journal keeps ('\n').
    static QString fileForm(QStringView part);
    static void toJournalForm(QString& part);

signals:
    // The document is about to be built anew from its own text (it shrank a
    // lot): an editor keeps its caret and scroll position across the two.
    void aboutToCompact();
    void compacted();

private:
    void compactIfShrunk();
    void setWrapFor(const QStringList& parts);

    QTextDocument* document_;
    int peakChars_ = 0;
};

} // namespace potencor::work
